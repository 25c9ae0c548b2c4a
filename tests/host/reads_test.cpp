#include <functional>

#include "drive/quality.h"
#include "drive/reads.h"
#include "drive_test_support.h"

namespace norvane::test {
namespace {

struct ReadCase {
  const char* name;
  std::function<void()> read;
  Cdb cdb;
  std::uint32_t transferLength;
};

TEST_F(DriveLayerTest, ReadCommandBlocksGoOutByteForByte) {
  const ReadCase cases[] = {
      {"identity", [] { ReadDriveIdentity('E'); }, kReadIdentity, 48},
      {"label", [] { BuildDriveLabel('E'); }, kInquiry, 254},
      {"model", [] { ReadModelName(); }, kInquiry, 254},
      {"responding", [] { IsDriveResponding(); }, kInquiry, 254},
      {"quiet mode", [] { ReadQuietMode(); }, kReadStatus, 256},
      {"counters", [] { ReadErrorCounters(); }, kReadCounters, 32},
      {"power",
       [] {
         std::uint8_t power[kPowerCheckLength] = {};
         ReadVendorBuffer(PowerCheckBuffer, kDataBufferMode, kPowerCheckOffset, kPowerCheckLength, power);
       },
       kReadPower, 8},
  };
  emu::EmulatedDrive& drive = OpenAttached('E');
  const auto check = [&drive](const ReadCase& c) {
    OpenDrive('E');
    drive.ClearLog();
    c.read();
    ASSERT_EQ(drive.Log().size(), 1u);
    const emu::LoggedCommand& sent = drive.Log()[0];
    EXPECT_EQ(sent.cdb, c.cdb);
    EXPECT_EQ(sent.direction, DataDirection::In);
    EXPECT_EQ(sent.transferLength, c.transferLength);
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    check(c);
  }
}

TEST(IsSupportedDrive, NeedsOneOfTheTwoIdentitiesCaseSensitively) {
  EXPECT_TRUE(IsSupportedDrive(L"KTV 3364QR27"));
  EXPECT_TRUE(IsSupportedDrive(L"KTV 3364GENERAL"));
  EXPECT_TRUE(IsSupportedDrive(L"xKTV 3364GENERAL"));
  EXPECT_FALSE(IsSupportedDrive(L"ktv 3364qr27"));
  EXPECT_FALSE(IsSupportedDrive(L"KTV 3364"));
  EXPECT_FALSE(IsSupportedDrive(L""));
}

TEST_F(DriveLayerTest, IdentityProbeLeavesTheLetterClosed) {
  devices.Attach('E', emu::QuietDriveModel());
  EXPECT_EQ(ReadDriveIdentity('E'), L"KTV 3364QR27");
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_EQ(devices.OpenHandleCount(), 0);

  EXPECT_EQ(ReadDriveIdentity('F'), L"");
  EXPECT_EQ(Channel().letter, 'F');
  EXPECT_EQ(ReadDriveIdentity(0), L"");
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(devices.OpenHandleCount(), 0);
}

TEST_F(DriveLayerTest, IdentityWithoutTerminatorStopsAfterSixteenCharacters) {
  emu::DriveModel model = emu::QuietDriveModel();
  model.identity = "KTV 3364GENERAL+then more bytes";
  devices.Attach('E', model);
  EXPECT_EQ(ReadDriveIdentity('E'), L"KTV 3364GENERAL+");
}

TEST_F(DriveLayerTest, ForeignDriveHasNoIdentity) {
  devices.Attach('D', emu::ForeignDriveModel());
  EXPECT_EQ(ReadDriveIdentity('D'), L"");
}

emu::DriveModel ModelWithInquiry(const char* vendor, const char* product, const char* revision,
                                 const char* vendorSpecific) {
  emu::DriveModel model = emu::QuietDriveModel();
  model.vendor = vendor;
  model.product = product;
  model.revision = revision;
  model.vendorSpecific = vendorSpecific;
  return model;
}

TEST_F(DriveLayerTest, LabelIsLetterColonAndThirtySevenInquiryCharacters) {
  devices.Attach('E', ModelWithInquiry("NORVANE ", "BD-RE XR-100    ", "1.02", "ABCDEFGHIJKL"));
  EXPECT_EQ(BuildDriveLabel('E'), L"E : NORVANE BD-RE XR-100    1.02ABCDEFGHI");
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_EQ(devices.OpenHandleCount(), 0);

  devices.Attach('D', ModelWithInquiry("", "", "", ""));
  EXPECT_EQ(BuildDriveLabel('D'), L"D : ");
  EXPECT_EQ(BuildDriveLabel('F'), L"");
}

TEST_F(DriveLayerTest, ModelNameIsQdmOrTheWholeInquiryText) {
  OpenAttached('E', ModelWithInquiry("NORVANE ", "BD QDM-LT58 X   ", "1.02", "ABCDEFGHIJKL"));
  EXPECT_EQ(ReadModelName(), L"QDM-LT58");

  OpenAttached('G', ModelWithInquiry("NORVANE ", "BD-RE XR-100    ", "1.02", "ABCDEFGHIJKL"));
  EXPECT_EQ(ReadModelName(), L"NORVANE BD-RE XR-100    1.02ABCDEFGHIJKL");

  OpenDrive(0);
  EXPECT_EQ(ReadModelName(), L"");
}

TEST_F(DriveLayerTest, RespondingMeansTheMakersInitial) {
  OpenAttached('E');
  EXPECT_TRUE(IsDriveResponding());
  OpenAttached('D', emu::ForeignDriveModel());
  EXPECT_FALSE(IsDriveResponding());
  devices.Unplug('D');
  EXPECT_FALSE(IsDriveResponding());
}

struct QuietCase {
  std::uint8_t byte2, byte3;
  QuietModeCode expected;
};

TEST_F(DriveLayerTest, QuietModeDecodesBytesTwoAndThree) {
  const QuietCase cases[] = {
      {0, 0, QuietOff},         {1, 0, QuietPerformance}, {2, 0, QuietStandard},
      {3, 0, QuietPersistent},  {7, 3, QuietPersistent},  {7, 0, QuietOff},
      {7, 1, QuietPerformance}, {7, 9, QuietStandard},    {0xFF, 0xFF, QuietStandard},
  };
  emu::EmulatedDrive& drive = OpenAttached('E');
  for (const QuietCase& c : cases) {
    Bytes status = Zeros(256);
    status[2] = c.byte2;
    status[3] = c.byte3;
    drive.OverrideBuffer(DriveStatusBuffer, status);
    EXPECT_EQ(ReadQuietMode(), c.expected) << int(c.byte2) << "/" << int(c.byte3);
  }
}

TEST_F(DriveLayerTest, QuietModeOfARealDriveAndOfNoDrive) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  emu::DriveSettings settings = drive.Current();
  settings.quietMode = emu::QuietModePersistent;
  drive.SetCurrent(settings);
  EXPECT_EQ(ReadQuietMode(), QuietPersistent);
  OpenDrive('F');
  EXPECT_EQ(ReadQuietMode(), QuietOff);
}

TEST_F(DriveLayerTest, ErrorCountersAreBigEndian) {
  emu::EmulatedDrive& drive = OpenAttached('E');
  Bytes counters = {0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00};
  counters.resize(32, 0xEE);
  drive.OverrideBuffer(ErrorCounterBuffer, counters);
  const ErrorCounters read = ReadErrorCounters();
  EXPECT_EQ(read.errorCount, 258u);
  EXPECT_EQ(read.transferredSectorCount, 4096u);
  EXPECT_EQ(read.lastSectorFrame, 65536u);

  OpenDrive('F');
  const ErrorCounters none = ReadErrorCounters();
  EXPECT_EQ(none.errorCount + none.transferredSectorCount + none.lastSectorFrame, 0u);
}

// Systems without drive letters name a drive by its device path; the probes
// behave as the letter ones do, with the name where the letter stands.
TEST_F(DriveLayerTest, ProbesByDevicePath) {
  devices.Attach('E', ModelWithInquiry("NORVANE ", "BD-RE XR-100    ", "1.02", "ABCDEFGHIJKL"));
  EXPECT_EQ(ReadDeviceIdentity(DevicePath('E')), L"KTV 3364QR27");
  CommandResult inquiry;
  EXPECT_EQ(BuildDeviceLabel(DevicePath('E'), L"/dev/sr0", inquiry),
            L"/dev/sr0 : NORVANE BD-RE XR-100    1.02ABCDEFGHI");
  EXPECT_TRUE(inquiry.Succeeded());
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(Channel().path, DevicePath('E'));
  EXPECT_EQ(devices.OpenHandleCount(), 0);

  EXPECT_EQ(ReadDeviceIdentity(L"/dev/sr9"), L"");
  EXPECT_EQ(BuildDeviceLabel(L"", L"none", inquiry), L"");
  EXPECT_EQ(inquiry.outcome, CommandOutcome::NotDelivered) << "no drive, no answer";
  EXPECT_EQ(devices.OpenHandleCount(), 0);
}

TEST_F(DriveLayerTest, OpticalDeviceIsAConnectedCdDvdDevice) {
  const struct {
    std::uint8_t byte0;
    bool optical;
  } cases[] = {{0x05, true}, {0x00, false}, {0x25, false}, {0x7F, false}};
  emu::EmulatedDrive& drive = OpenAttached('E');
  EXPECT_TRUE(IsOpticalDevice()) << "the model's own INQUIRY data";
  for (const auto& c : cases) {
    Bytes inquiry(96, 0);
    inquiry[0] = c.byte0;
    drive.OverrideInquiry(inquiry);
    EXPECT_EQ(IsOpticalDevice(), c.optical) << int(c.byte0);
  }
  OpenDrive('F');
  EXPECT_FALSE(IsOpticalDevice()) << "no drive answers nothing";
}

}  // namespace
}  // namespace norvane::test
