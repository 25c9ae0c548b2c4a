// The readings the window and the tool share: what each reads, what it makes
// of the drive's answer, and how it tells a short or failed read from values
// the drive reported.
#include <functional>

#include "drive/commands.h"
#include "drive/readings.h"
#include "drive/settings.h"
#include "drive_test_support.h"

namespace norvane::test {
namespace {

const Bytes kOneByte = {0xA5};

TEST_F(DriveLayerTest, RealTimeSupportIsStatusByte29) {
  OpenAttached('E');
  const RealTimeSupport quiet = ReadRealTimeSupport();
  EXPECT_TRUE(quiet.supported);
  EXPECT_TRUE(quiet.read.Complete());

  emu::EmulatedDrive& general = OpenAttached('G', emu::GeneralDriveModel());
  EXPECT_FALSE(ReadRealTimeSupport().supported);
  EXPECT_EQ(general.Log().size(), 1u);

  general.OverrideBuffer(DriveStatusBuffer, kOneByte);
  const RealTimeSupport shortRead = ReadRealTimeSupport();
  EXPECT_FALSE(shortRead.supported) << "byte 29 never came";
  EXPECT_TRUE(shortRead.read.Succeeded());
  EXPECT_EQ(shortRead.read.transferred, 1u);
  EXPECT_FALSE(shortRead.read.Complete());
}

TEST_F(DriveLayerTest, QualityIsTheCountersOfADriveThatCountsErrors) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  drive.SetCounters(3, 1000, 4500);
  const QualityReading reading = ReadQuality();
  EXPECT_TRUE(reading.supported);
  EXPECT_EQ(reading.counters.errorCount, 3u);
  EXPECT_EQ(reading.counters.transferredSectorCount, 1000u);
  EXPECT_EQ(reading.counters.lastSectorFrame, 4500u);
  EXPECT_EQ(reading.level, 6);
  EXPECT_TRUE(reading.read.Complete());
  EXPECT_EQ(drive.Log().size(), 2u);

  emu::EmulatedDrive& general = OpenAttached('G', emu::GeneralDriveModel());
  const QualityReading none = ReadQuality();
  EXPECT_FALSE(none.supported);
  EXPECT_TRUE(none.read.Complete());
  EXPECT_EQ(general.Log().size(), 1u) << "no counters read from a drive that counts no errors";
}

// The window shows the zeros of such a reading, as it always has; the reading
// says they are not the drive's.
TEST_F(DriveLayerTest, AShortOrFailedQualityReadIsToldApart) {
  const struct {
    const char* name;
    std::function<void(emu::EmulatedDrive&)> fault;
    bool supported;
    CommandOutcome outcome;
    std::uint32_t transferred;
    std::size_t commands;
  } cases[] = {
      {"one byte of counters", [](emu::EmulatedDrive& d) { d.OverrideBuffer(ErrorCounterBuffer, kOneByte); }, true,
       CommandOutcome::Succeeded, 1, 2},
      {"the drive gone after the status read", [](emu::EmulatedDrive& d) { d.DropOffAfter(1); }, true,
       CommandOutcome::NotDelivered, 0, 1},
      {"one byte of status", [](emu::EmulatedDrive& d) { d.OverrideBuffer(DriveStatusBuffer, kOneByte); }, false,
       CommandOutcome::Succeeded, 1, 1},
      {"status refused",
       [](emu::EmulatedDrive& d) {
         d.QueueSense({0x2, 0x04, 0x01});
       },
       false, CommandOutcome::Failed, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    emu::EmulatedDrive& drive = OpenAttached('E');
    drive.SetCounters(3, 1000, 4500);
    c.fault(drive);
    const QualityReading reading = ReadQuality();
    EXPECT_EQ(reading.supported, c.supported);
    EXPECT_FALSE(reading.read.Complete());
    EXPECT_EQ(reading.read.outcome, c.outcome);
    EXPECT_EQ(reading.read.transferred, c.transferred);
    EXPECT_EQ(reading.level, 0);
    EXPECT_EQ(reading.counters.transferredSectorCount, 0u);
    EXPECT_EQ(drive.Log().size(), c.commands);
  }
}

// The end of a bus power check: StartPowerCheck was sent, the drive has measured.
class PowerMeasurementTest : public DriveLayerTest {
 protected:
  emu::EmulatedDrive& Measured(std::uint32_t busPower) {
    emu::EmulatedDrive& drive = OpenAttached('E');
    drive.SetBusPower(busPower);
    StartPowerCheck();
    devices.Sleep(26000);
    drive.ClearLog();
    return drive;
  }
};

TEST_F(PowerMeasurementTest, IsTheVerdictOnWhatTheDriveMeasured) {
  const struct {
    std::uint32_t busPower;
    bool responding;
    std::uint32_t value;
    PowerVerdict verdict;
    std::size_t commands;
  } cases[] = {
      {5000, true, 5000, PowerVerdict::Enough, 2},
      {4400, true, 4400, PowerVerdict::SlightlyNotEnough, 2},
      {3000, false, 0, PowerVerdict::NotEnough, 0},  // dropped off the bus: nothing reaches it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.busPower);
    emu::EmulatedDrive& drive = Measured(c.busPower);
    const PowerMeasurement measurement = ReadPowerMeasurement();
    EXPECT_EQ(measurement.responding, c.responding);
    EXPECT_EQ(measurement.powerValue, c.value);
    EXPECT_EQ(measurement.verdict, c.verdict);
    EXPECT_TRUE(measurement.read.Complete());
    EXPECT_EQ(drive.Log().size(), c.commands);
  }
}

TEST_F(PowerMeasurementTest, AShortOrFailedReadIsToldApartFromAValueOfZero) {
  emu::EmulatedDrive& drive = Measured(5000);
  drive.OverrideBuffer(PowerCheckBuffer, kOneByte);
  const PowerMeasurement shortRead = ReadPowerMeasurement();
  EXPECT_TRUE(shortRead.responding);
  EXPECT_EQ(shortRead.verdict, PowerVerdict::SlightlyNotEnough) << "the window's verdict on zeros";
  EXPECT_EQ(shortRead.read.transferred, 1u);
  EXPECT_FALSE(shortRead.read.Complete());

  drive.ClearOverrides();
  drive.QueueSense({0x5, 0x24, 0x00});
  const PowerMeasurement refused = ReadPowerMeasurement();
  EXPECT_EQ(refused.powerValue, 0u);
  EXPECT_EQ(refused.read.outcome, CommandOutcome::Failed);
  EXPECT_EQ(refused.read.operation, 0x3C);
}

TEST_F(DriveLayerTest, ReportedSettingsTellAShortStatusRead) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  EXPECT_TRUE(ReadReportedSettings().read.Complete());
  drive.OverrideBuffer(DriveStatusBuffer, kOneByte);
  const ReportedSettings reported = ReadReportedSettings();
  EXPECT_EQ(reported.read.transferred, 1u);
  EXPECT_FALSE(reported.read.Complete());
}

}  // namespace
}  // namespace norvane::test
