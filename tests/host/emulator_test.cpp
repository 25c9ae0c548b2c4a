// The emulated drive as the firmware it stands in for: command blocks go in
// through the device seam exactly as the command layer sends them, and the
// expected bytes are the drive's documented command interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulated_devices.h"
#include "tests/common/command_blocks.h"

namespace norvane::emu {
namespace {

// The command blocks the utility sends.
using namespace norvane::test;

using Bytes = std::vector<std::uint8_t>;
using SenseCode = std::array<int, 3>;  // key, ASC, ASCQ

// A person closes the tray; the utility never sends this.
constexpr Cdb kLoad = {0x1B, 0x00, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0};

constexpr SenseCode kBecomingReady = {2, 0x04, 0x01};
constexpr SenseCode kNoDiscTrayClosed = {2, 0x3A, 0x01};
constexpr SenseCode kNoDiscTrayOpen = {2, 0x3A, 0x02};
constexpr SenseCode kInvalidOpcode = {5, 0x20, 0x00};
constexpr SenseCode kInvalidField = {5, 0x24, 0x00};
constexpr SenseCode kInvalidParameter = {5, 0x26, 0x00};
constexpr SenseCode kMediumChanged = {6, 0x28, 0x00};
constexpr SenseCode kPowerOn = {6, 0x29, 0x00};

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

// The big-endian 32-bit number at `offset`.
std::uint32_t Word(const Bytes& bytes, std::size_t offset) {
  return std::uint32_t{bytes[offset]} << 24 | std::uint32_t{bytes[offset + 1]} << 16 |
         std::uint32_t{bytes[offset + 2]} << 8 | bytes[offset + 3];
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct Outcome {
  bool delivered = false;  // the operating-system call succeeded
  std::uint8_t status = 0xEE;
  std::array<std::uint8_t, kSenseAreaLength> sense{};
  std::uint32_t transferred = 0;  // the bytes the drive moved
  Bytes data;
  SenseCode Sense() const { return {sense[2] & 0x0F, sense[12], sense[13]}; }
};

// One drive at E: with an open handle, and the command blocks to send it.
struct Bench {
  explicit Bench(DriveModel model = QuietDriveModel())
      : drive(&devices.Attach('E', std::move(model))), handle(devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite)) {}

  Outcome Send(DeviceHandle to, const Cdb& cdb, DataDirection direction, std::uint32_t length, Bytes out = {}) {
    Outcome outcome;
    outcome.data = direction == DataDirection::Out ? std::move(out) : Bytes(length, 0);
    ScsiCommand command;
    command.cdb = cdb.data();
    command.data = outcome.data.empty() ? nullptr : outcome.data.data();
    command.transferLength = length;
    command.direction = direction;
    ScsiReply reply;
    reply.status = outcome.status;
    outcome.delivered = devices.PassThrough(to, command, reply);
    outcome.status = reply.status;
    outcome.transferred = reply.transferred;
    std::copy(std::begin(reply.sense), std::end(reply.sense), outcome.sense.begin());
    return outcome;
  }
  Outcome Send(const Cdb& cdb, DataDirection direction, std::uint32_t length, Bytes out = {}) {
    return Send(handle, cdb, direction, length, std::move(out));
  }
  Outcome In(const Cdb& cdb, std::uint32_t length) { return Send(cdb, DataDirection::In, length); }
  Outcome Out(const Cdb& cdb, Bytes data = {}) {
    const auto length = static_cast<std::uint32_t>(data.size());
    return Send(cdb, DataDirection::Out, length, std::move(data));
  }
  Outcome NoData(const Cdb& cdb) { return Send(cdb, DataDirection::None, 0); }
  Outcome WritePage(Bytes page) { return Out(kWritePage, std::move(page)); }
  Bytes Status() { return In(kReadStatus, 256).data; }

  // Power-cycles and takes the power-on unit attention.
  void PowerCycle() {
    drive->PowerCycle();
    EXPECT_EQ(In(kReadStatus, 256).Sense(), kPowerOn);
  }
  // Loads a disc, lets it become ready and takes the medium change.
  void LoadReadyDisc() {
    drive->InsertDisc(1000);
    devices.Sleep(1000);
    EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged);
  }

  EmulatedDevices devices;
  EmulatedDrive* drive;
  DeviceHandle handle;
};

class Emulator : public ::testing::Test, protected Bench {};

// Status bytes 2, 3, 4, 5, 28 and 40 as the drive reports them.
struct StatusView {
  int quiet2, quiet3, readError, mode, realTime, eject;
  bool operator==(const StatusView&) const = default;
};
StatusView View(const Bytes& status) { return {status[2], status[3], status[4], status[5], status[28], status[40]}; }
void PrintTo(const StatusView& v, std::ostream* os) {
  *os << "{quiet " << v.quiet2 << "/" << v.quiet3 << ", read error " << v.readError << " mode " << v.mode
      << ", real-time " << v.realTime << ", eject " << v.eject << "}";
}

constexpr StatusView kFactory = {2, 2, 0, 0xFE, 0, 0};

// --- settings ---

TEST_F(Emulator, FactoryStateIsQuietModeWithEverythingElseOff) {
  const Bytes status = Status();
  EXPECT_EQ(View(status), kFactory);
  EXPECT_EQ(status[29], 1);  // this model supports real-time handling
}

TEST_F(Emulator, VendorControlByteSetsTheQuietModeNumberAndTheLastCommandWins) {
  const struct {
    std::uint8_t control;
    int reported;
  } cases[] = {{0x80, 0}, {0x81, 1}, {0x82, 2}, {0x83, 3}, {0xC1, 1}, {0xC3, 3}, {0xC0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    EXPECT_EQ(NoData(Speed(c.control)).status, 0);
    const Bytes status = Status();
    EXPECT_EQ(status[2], c.reported);
    EXPECT_EQ(status[3], c.reported);
  }
  // Without bit 7 it is an ordinary speed request: accepted, no setting changed.
  EXPECT_EQ(NoData(Speed(0x00)).status, 0);
  EXPECT_EQ(NoData(Speed(0x03)).status, 0);
  EXPECT_EQ(Status()[2], 0);
}

TEST_F(Emulator, SettingPagesSetReadErrorHandlingAndEjectAtPowerOn) {
  ASSERT_EQ(WritePage(DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x00, 0x00})).status, 0);
  EXPECT_EQ(View(Status()), (StatusView{2, 2, 1, 0x08, 0, 0}));
  ASSERT_EQ(WritePage(DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x01})).status, 0);
  EXPECT_EQ(View(Status()), (StatusView{2, 2, 1, 0xFE, 1, 0}));
  ASSERT_EQ(WritePage(DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00})).status, 0);
  EXPECT_EQ(Status()[4], 0);
  ASSERT_EQ(WritePage(DataPage({0x0F, 0x00, 0x01})).status, 0);
  const Bytes before = Status();
  EXPECT_EQ(before[40], 1);
  // An all-zero page is taken and changes nothing.
  EXPECT_EQ(WritePage(DataPage({})).status, 0);
  EXPECT_EQ(Status(), before);
  ASSERT_EQ(WritePage(DataPage({0x0F, 0x00, 0x00})).status, 0);
  EXPECT_EQ(Status()[40], 0);
}

TEST(EmulatorPowerCycle, SavedSettingsSurviveAndUnsavedOnesFallBack) {
  const struct {
    const char* name;
    Cdb speed;
    Bytes page;
    StatusView before, after;
    Tray trayAfter;
  } cases[] = {
      {"quiet unsaved", Speed(0x81), DataPage({}), {1, 1, 0, 0xFE, 0, 0}, kFactory, Tray::Closed},
      {"quiet saved", Speed(0xC3), DataPage({}), {3, 3, 0, 0xFE, 0, 0}, {3, 3, 0, 0xFE, 0, 0}, Tray::Closed},
      {"read error unsaved",
       Speed(0x00),
       DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x00, 0x01}),
       {2, 2, 1, 0x08, 1, 0},
       kFactory,
       Tray::Closed},
      {"read error saved",
       Speed(0x00),
       DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x01, 0x01}),
       {2, 2, 1, 0x08, 1, 0},
       {2, 2, 1, 0x08, 1, 0},
       Tray::Closed},
      // No save byte: the drive keeps it at once, and it opens the tray at power-on.
      {"eject at power-on",
       Speed(0x00),
       DataPage({0x0F, 0x00, 0x01}),
       {2, 2, 0, 0xFE, 0, 1},
       {2, 2, 0, 0xFE, 0, 1},
       Tray::Open},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench bench;
    EXPECT_EQ(bench.NoData(c.speed).status, 0);
    EXPECT_EQ(bench.WritePage(c.page).status, 0);
    EXPECT_EQ(View(bench.Status()), c.before);
    bench.PowerCycle();
    EXPECT_EQ(View(bench.Status()), c.after);
    EXPECT_EQ(bench.drive->TrayState(), c.trayAfter);
  }
}

TEST_F(Emulator, FactoryDefaultSequenceRestoresTheFactoryStateForGood) {
  NoData(Speed(0xC3));
  WritePage(DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x01, 0x01}));
  WritePage(DataPage({0x0F, 0x00, 0x01}));
  ASSERT_NE(View(Status()), kFactory);

  EXPECT_EQ(NoData(Speed(0xC2)).status, 0);
  EXPECT_EQ(WritePage(DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00})).status, 0);
  EXPECT_EQ(WritePage(DataPage({})).status, 0);
  EXPECT_EQ(WritePage(DataPage({0x0F, 0x00, 0x00})).status, 0);
  PowerCycle();
  const Bytes status = Status();
  EXPECT_EQ(status[2], 2);
  EXPECT_EQ(status[3], 2);
  EXPECT_EQ(status[4], 0);
  EXPECT_EQ(status[28], 0);
  EXPECT_EQ(status[40], 0);
  EXPECT_EQ(drive->TrayState(), Tray::Closed);
}

// --- real-time handling ---

TEST_F(Emulator, RealTimeIsNotTakenWhileQuietIsOffAndDropsWhenQuietGoesOff) {
  const Bytes realTimePage = DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x01});
  ASSERT_EQ(WritePage(realTimePage).status, 0);
  EXPECT_EQ(Status()[28], 1);

  ASSERT_EQ(NoData(Speed(0x80)).status, 0);
  EXPECT_EQ(Status()[28], 0);
  ASSERT_EQ(NoData(Speed(0x82)).status, 0);
  EXPECT_EQ(Status()[28], 0);  // not brought back with the quiet mode

  ASSERT_EQ(NoData(Speed(0x80)).status, 0);
  EXPECT_EQ(WritePage(realTimePage).status, 0);  // accepted, but not taken
  EXPECT_EQ(View(Status()), (StatusView{0, 0, 1, 0xFE, 0, 0}));
}

TEST_F(Emulator, SavedRealTimeComesBackWithTheSavedQuietMode) {
  ASSERT_EQ(WritePage(DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x01, 0x01})).status, 0);
  ASSERT_EQ(NoData(Speed(0x80)).status, 0);  // quiet off, not saved
  EXPECT_EQ(Status()[28], 0);
  PowerCycle();
  EXPECT_EQ(View(Status()), (StatusView{2, 2, 1, 0xFE, 1, 0}));

  ASSERT_EQ(NoData(Speed(0xC0)).status, 0);  // quiet off, saved: the saved real-time goes too
  PowerCycle();
  EXPECT_EQ(View(Status()), (StatusView{0, 0, 1, 0xFE, 0, 0}));
}

TEST(EmulatorModels, ADriveWithoutRealTimeSupportNeverTakesIt) {
  Bench bench(GeneralDriveModel());
  ASSERT_EQ(bench.WritePage(DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x01, 0x01})).status, 0);
  const Bytes status = bench.Status();
  EXPECT_EQ(View(status), (StatusView{2, 2, 1, 0xFE, 0, 0}));
  EXPECT_EQ(status[29], 0);
  bench.PowerCycle();
  EXPECT_EQ(bench.Status()[28], 0);
}

// --- identification ---

TEST(EmulatorModels, InquiryAndIdentityOfEachModel) {
  const struct {
    const char* name;
    DriveModel model;
    std::string vendor;
    std::string identity;  // bytes 16..31 of the identity buffer, up to the first zero
  } cases[] = {
      {"quiet", QuietDriveModel(), "NORVANE ", "KTV 3364QR27"},
      {"general", GeneralDriveModel(), "NORVANE ", "KTV 3364GENERAL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench bench(c.model);
    const Outcome inquiry = bench.In(kInquiry, 254);
    EXPECT_EQ(inquiry.status, 0);
    EXPECT_EQ(inquiry.data[0], 0x05);         // CD/DVD device
    EXPECT_EQ(inquiry.data[1] & 0x80, 0x80);  // removable
    EXPECT_EQ(inquiry.data[4] + 5, 96);       // additional length
    EXPECT_EQ(Slice(inquiry.data, 8, 8), Text(c.vendor));
    const Outcome identity = bench.In(kReadIdentity, 48);
    EXPECT_EQ(identity.status, 0);
    EXPECT_EQ(Slice(identity.data, 16, c.identity.size()), Text(c.identity));
    EXPECT_EQ(identity.data[16 + c.identity.size()], 0);
  }
  Bench quiet;
  const std::string product(reinterpret_cast<const char*>(quiet.In(kInquiry, 254).data.data()) + 16, 16);
  EXPECT_NE(product.find("QDM-LT58"), std::string::npos);
}

TEST(EmulatorModels, AForeignDriveAnswersInquiryButRefusesTheVendorCommands) {
  Bench bench(ForeignDriveModel());
  const Outcome inquiry = bench.In(kInquiry, 254);
  ASSERT_EQ(inquiry.status, 0);
  EXPECT_NE(inquiry.data[8], 'N');
  EXPECT_EQ(bench.In(kReadIdentity, 48).Sense(), kInvalidField);
  EXPECT_EQ(bench.In(kReadStatus, 256).Sense(), kInvalidField);
  EXPECT_EQ(bench.In(kReadCounters, 32).Sense(), kInvalidField);
  EXPECT_EQ(bench.In(kReadPower, 8).Sense(), kInvalidField);
  EXPECT_EQ(bench.WritePage(DataPage({0x0F, 0x00, 0x01})).Sense(), kInvalidField);
  EXPECT_EQ(bench.Out(kClearCounters).Sense(), kInvalidField);
  EXPECT_EQ(bench.NoData(Speed(0x82)).Sense(), kInvalidField);
  EXPECT_EQ(bench.NoData(Speed(0x00)).status, 0);  // an ordinary speed request is fine
}

TEST_F(Emulator, HostileTextsRunOnAndOverridesAnswerRawBytes) {
  drive->MutableModel().product = "BD-RE QDM-LT58 EXTRA";  // 20 characters: runs into the revision
  const Outcome inquiry = In(kInquiry, 254);
  EXPECT_EQ(Slice(inquiry.data, 16, 20), Text("BD-RE QDM-LT58 EXTRA"));

  drive->OverrideBuffer(0xF4, {0x00, 0x00, 0x07, 0x09});
  const Outcome status = In(kReadStatus, 256);
  ASSERT_EQ(status.status, 0);
  EXPECT_EQ(Slice(status.data, 0, 5), (Bytes{0x00, 0x00, 0x07, 0x09, 0x00}));

  drive->OverrideInquiry(Bytes(254, 'N'));
  EXPECT_EQ(In(kInquiry, 254).data, Bytes(254, 'N'));
  drive->ClearOverrides();
  EXPECT_EQ(In(kInquiry, 254).data[0], 0x05);
  EXPECT_EQ(In(kReadStatus, 256).data[2], 2);
}

TEST_F(Emulator, DataInNeverGoesPastTheTransferLength) {
  const Cdb shortInquiry = {0x12, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0};
  Bytes buffer(16, 0xAA);
  ScsiCommand command;
  command.cdb = shortInquiry.data();
  command.data = buffer.data();
  command.transferLength = 10;
  command.direction = DataDirection::In;
  ScsiReply reply;
  ASSERT_TRUE(devices.PassThrough(handle, command, reply));
  EXPECT_EQ(reply.status, 0);
  EXPECT_EQ(buffer[0], 0x05);
  EXPECT_EQ(Slice(buffer, 8, 2), Text("NO"));
  EXPECT_EQ(Slice(buffer, 10, 6), Bytes(6, 0xAA));
}

// A host learns how much of its buffer the drive filled or took: an answer
// shorter than the buffer, or a block refused before its data phase.
TEST_F(Emulator, TheReplyTellsTheBytesTheDriveMoved) {
  const struct {
    const char* name;
    std::function<void(EmulatedDrive&)> prepare;
    Cdb cdb;
    DataDirection direction;
    std::uint32_t length;
    Bytes out;
    std::uint32_t moved;
  } cases[] = {
      {"the whole status buffer", nullptr, kReadStatus, DataDirection::In, 256, {}, 256},
      {"INQUIRY has 96 bytes for 254 asked", nullptr, kInquiry, DataDirection::In, 254, {}, 96},
      {"a status buffer of one byte",
       [](EmulatedDrive& d) { d.OverrideBuffer(0xF4, {0xA5}); },
       kReadStatus,
       DataDirection::In,
       256,
       {},
       1},
      {"a read refused",
       [](EmulatedDrive& d) {
         d.QueueSense({0x2, 0x3A, 0x01});
       },
       kReadCounters,
       DataDirection::In,
       32,
       {},
       0},
      {"a setting page taken", nullptr, kWritePage, DataDirection::Out, 256, DataPage({0x0F, 0x00, 0x01}), 256},
      {"a page refused for its content, after it came", nullptr, kWritePage, DataDirection::Out, 256,
       DataPage({0x02, 0x80}), 256},
      {"a page refused for its block, before it came",
       nullptr,
       {0x3B, 0x02, 0xFA, 0, 0, 0, 0, 0x01, 0, 0, 0, 0},
       DataDirection::Out,
       256,
       DataPage({0x0F}),
       0},
      {"no data", nullptr, kStop, DataDirection::None, 0, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench bench;
    if (c.prepare) c.prepare(*bench.drive);
    EXPECT_EQ(bench.Send(c.cdb, c.direction, c.length, c.out).transferred, c.moved);
  }
}

// --- refusals ---

TEST_F(Emulator, MalformedCommandsAreRefusedAsIllegalRequestsAndChangeNothing) {
  LoadReadyDisc();
  const struct {
    const char* name;
    Cdb cdb;
    DataDirection direction;
    std::uint32_t length;
    Bytes out;
    SenseCode expected;
  } cases[] = {
      {"READ(10)", {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, DataDirection::In, 2048, {}, kInvalidOpcode},
      {"opcode FF", {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDirection::None, 0, {}, kInvalidOpcode},
      {"unknown buffer", {0x3C, 0x02, 0xF2, 0, 0, 0, 0, 0, 0x30, 0, 0, 0}, DataDirection::In, 48, {}, kInvalidField},
      {"status in mode 2", {0x3C, 0x02, 0xF4, 0, 0, 0, 0, 0x01, 0, 0, 0, 0}, DataDirection::In, 256, {}, kInvalidField},
      {"identity at offset 1",
       {0x3C, 0x02, 0xF1, 0, 0, 1, 0, 0, 0x30, 0, 0, 0},
       DataDirection::In,
       48,
       {},
       kInvalidField},
      {"power buffer at offset 0",
       {0x3C, 0x02, 0xE6, 0, 0, 0, 0, 0, 0x08, 0, 0, 0},
       DataDirection::In,
       8,
       {},
       kInvalidField},
      {"counters 64 bytes", {0x3C, 0x02, 0xF5, 0, 0, 0, 0, 0, 0x40, 0, 0, 0}, DataDirection::In, 64, {}, kInvalidField},
      {"read with direction out", kReadStatus, DataDirection::Out, 256, Bytes(256, 0), kInvalidField},
      {"transfer longer than allocation", kReadIdentity, DataDirection::In, 256, {}, kInvalidField},
      {"control byte set",
       {0x3C, 0x01, 0xF4, 0, 0, 0, 0, 0x01, 0, 0x01, 0, 0},
       DataDirection::In,
       256,
       {},
       kInvalidField},
      {"setting page in mode 2",
       {0x3B, 0x02, 0xFA, 0, 0, 0, 0, 0x01, 0, 0, 0, 0},
       DataDirection::Out,
       256,
       DataPage({0x0F, 0, 1}),
       kInvalidField},
      {"setting page of 128 bytes",
       {0x3B, 0x01, 0xFA, 0, 0, 0, 0, 0x00, 0x80, 0, 0, 0},
       DataDirection::Out,
       128,
       Bytes(128, 0),
       kInvalidField},
      {"write to the status buffer",
       {0x3B, 0x01, 0xF4, 0, 0, 0, 0, 0x01, 0, 0, 0, 0},
       DataDirection::Out,
       256,
       DataPage({0x0F, 0, 1}),
       kInvalidField},
      {"power buffer at offset 3",
       {0x3B, 0x02, 0xE6, 0x03, 0, 0, 0, 0, 0, 0, 0, 0},
       DataDirection::Out,
       0,
       {},
       kInvalidField},
      {"clear counters without direction", kClearCounters, DataDirection::None, 0, {}, kInvalidField},
      {"page shorter than its length", kWritePage, DataDirection::Out, 255, Bytes(255, 0), kInvalidField},
      {"vendor byte with reserved bits", Speed(0x84), DataDirection::None, 0, {}, kInvalidField},
      {"speed with data in", Speed(0x82), DataDirection::In, 8, {}, kInvalidField},
      {"start stop with power condition",
       {0x1B, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0},
       DataDirection::None,
       0,
       {},
       kInvalidField},
      {"disc information type 1",
       {0x51, 0x01, 0, 0, 0, 0, 0, 0, 0x22, 0, 0, 0},
       DataDirection::In,
       34,
       {},
       kInvalidField},
      {"inquiry for a vital product data page",
       {0x12, 0x01, 0x80, 0, 0xFE, 0, 0, 0, 0, 0, 0, 0},
       DataDirection::In,
       254,
       {},
       kInvalidField},
      {"unknown page", kWritePage, DataDirection::Out, 256, DataPage({0x02, 0x80, 0x01}), kInvalidParameter},
      {"read-error page without 0x80", kWritePage, DataDirection::Out, 256, DataPage({0x01, 0x00, 0x01, 0xFE, 0x01}),
       kInvalidParameter},
      {"unknown read-error mode", kWritePage, DataDirection::Out, 256, DataPage({0x01, 0x80, 0x01, 0x07, 0x01}),
       kInvalidParameter},
      {"perfect mode with master strength", kWritePage, DataDirection::Out, 256,
       DataPage({0x01, 0x80, 0x01, 0xFE, 0x40}), kInvalidParameter},
      {"save byte 2", kWritePage, DataDirection::Out, 256, DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x02}),
       kInvalidParameter},
      {"read-error page with a stray byte", kWritePage, DataDirection::Out, 256,
       DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x00, 0x01}), kInvalidParameter},
      {"eject flag 2", kWritePage, DataDirection::Out, 256, DataPage({0x0F, 0x00, 0x02}), kInvalidParameter},
      {"zero page with a stray byte", kWritePage, DataDirection::Out, 256,
       [] {
         Bytes page = DataPage({});
         page[100] = 1;
         return page;
       }(),
       kInvalidParameter},
  };
  const Bytes before = Status();
  const auto check = [&](const auto& c) {
    const Outcome outcome = Send(c.cdb, c.direction, c.length, c.out);
    ASSERT_TRUE(outcome.delivered);
    EXPECT_EQ(outcome.status, 0x02);
    EXPECT_EQ(outcome.sense[0], 0x70);
    EXPECT_EQ(outcome.sense[7], 10);
    EXPECT_EQ(outcome.Sense(), c.expected);
    const LoggedCommand& logged = drive->Log().back();
    EXPECT_EQ(logged.cdb, c.cdb);
    EXPECT_EQ(logged.status, 0x02);
    EXPECT_EQ(logged.sense[12], c.expected[1]);
    EXPECT_EQ(Status(), before);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    check(c);
  }
  EXPECT_EQ(drive->TrayState(), Tray::Closed);
}

// --- tray, disc and unit attentions ---

TEST_F(Emulator, ADriveStartsWithAReadyDisc) {
  EXPECT_EQ(drive->TrayState(), Tray::Closed);
  const Outcome info = In(kReadDiscInfo, 34);
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.data[1], 32);  // disc information length
}

TEST_F(Emulator, ClosingTheTrayOnADiscBecomesReadyThenReportsTheMediumChangeOnce) {
  drive->RemoveDisc();
  EXPECT_EQ(drive->TrayState(), Tray::Open);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kNoDiscTrayOpen);
  drive->CloseTray();
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kNoDiscTrayClosed);
  ASSERT_EQ(NoData(kEject).status, 0);
  EXPECT_EQ(drive->TrayState(), Tray::Open);

  drive->InsertDisc(2500);
  EXPECT_EQ(drive->TrayState(), Tray::Closed);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kBecomingReady);
  EXPECT_EQ(In(kReadStatus, 256).status, 0);  // other commands are answered while it spins up
  devices.Sleep(2499);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kBecomingReady);
  devices.Sleep(1);
  EXPECT_EQ(In(kInquiry, 254).status, 0);  // INQUIRY neither reports nor clears it
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged);
  EXPECT_EQ(In(kReadDiscInfo, 34).status, 0);
  EXPECT_EQ(In(kReadDiscInfo, 34).status, 0);
}

TEST_F(Emulator, EjectKeepsTheDiscOnTheTrayAndLoadSpinsItUpAgain) {
  LoadReadyDisc();
  ASSERT_EQ(NoData(kOpenTray).status, 0);
  EXPECT_EQ(drive->TrayState(), Tray::Open);
  EXPECT_TRUE(drive->HasDisc());
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kNoDiscTrayOpen);

  ASSERT_EQ(NoData(kLoad).status, 0);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kBecomingReady);
  devices.Sleep(1000);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged);
  EXPECT_EQ(In(kReadDiscInfo, 34).status, 0);

  EXPECT_TRUE(drive->Spinning());
  ASSERT_EQ(NoData(kStop).status, 0);
  EXPECT_FALSE(drive->Spinning());
  EXPECT_EQ(drive->TrayState(), Tray::Closed);
}

TEST_F(Emulator, ForceEjectOpensTheTrayWhenANormalEjectIsRefused) {
  LoadReadyDisc();
  drive->SetMediumRemovalPrevented(true);
  EXPECT_EQ(NoData(kEject).Sense(), (SenseCode{5, 0x53, 0x02}));
  EXPECT_EQ(NoData(kOpenTray).Sense(), (SenseCode{5, 0x53, 0x02}));
  EXPECT_EQ(drive->TrayState(), Tray::Closed);
  EXPECT_EQ(Out(kForceEject).status, 0);
  EXPECT_EQ(drive->TrayState(), Tray::Open);
  EXPECT_TRUE(drive->HasDisc());
}

// A person at the drive pushes a tray that opened with a disc on it back in;
// the disc then spins up from that moment, however late the drive is asked.
TEST_F(Emulator, APersonPushesAnOpenedTrayWithADiscBackInAfterTheDelay) {
  drive->SetTrayPushedInAfter(3000);
  const struct {
    const char* name;
    Cdb opens;
  } openings[] = {{"eject", kEject}, {"open tray", kOpenTray}, {"force eject", kForceEject}};
  for (const auto& opening : openings) {
    SCOPED_TRACE(opening.name);
    const Outcome opened = opening.opens == kForceEject ? Out(opening.opens) : NoData(opening.opens);
    EXPECT_EQ(opened.status, 0);
    devices.Sleep(2999);
    EXPECT_EQ(drive->TrayState(), Tray::Open);
    EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kNoDiscTrayOpen);
    devices.Sleep(1);
    EXPECT_EQ(drive->TrayState(), Tray::Closed);
    EXPECT_TRUE(drive->Spinning());
    EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kBecomingReady);
    devices.Sleep(kDefaultSpinUpMs);
    EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged);
    EXPECT_EQ(In(kReadDiscInfo, 34).status, 0);
  }

  // Asked only long after: pushed in at 3 s, ready 2.5 s later.
  ASSERT_EQ(NoData(kEject).status, 0);
  devices.Sleep(3000 + kDefaultSpinUpMs - 1);
  EXPECT_EQ(drive->DiscState(), Disc::BecomingReady);
  devices.Sleep(1);
  EXPECT_EQ(drive->DiscState(), Disc::Ready);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged);
}

TEST_F(Emulator, NobodyPushesBackAnEmptyTrayOrOneClosedMeanwhileOrWhenNotAsked) {
  drive->SetTrayPushedInAfter(3000);
  drive->RemoveDisc();
  devices.Sleep(10000);
  EXPECT_EQ(drive->TrayState(), Tray::Open) << "an empty tray";

  drive->InsertDisc(1000);
  ASSERT_EQ(NoData(kEject).status, 0);
  devices.Sleep(1000);
  ASSERT_EQ(NoData(kLoad).status, 0);
  devices.Sleep(1500);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged) << "the load spins the disc up";
  ASSERT_EQ(NoData(kStop).status, 0);
  devices.Sleep(10000);
  EXPECT_FALSE(drive->Spinning()) << "the pending push went with the load";

  ASSERT_EQ(NoData(kEject).status, 0);
  drive->SetTrayPushedInAfter(std::nullopt);
  devices.Sleep(10000);
  EXPECT_EQ(drive->TrayState(), Tray::Open) << "nobody at the drive any more";
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kNoDiscTrayOpen);
}

TEST_F(Emulator, ByDefaultAnOpenedTrayStaysOpen) {
  ASSERT_EQ(NoData(kEject).status, 0);
  devices.Sleep(60000);
  EXPECT_EQ(drive->TrayState(), Tray::Open);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kNoDiscTrayOpen);
}

TEST_F(Emulator, PowerOnAttentionWaitsForTheFirstCommandOtherThanInquiry) {
  drive->PowerCycle();
  EXPECT_EQ(In(kInquiry, 254).status, 0);
  EXPECT_EQ(In(kInquiry, 254).status, 0);
  EXPECT_EQ(NoData(Speed(0x81)).Sense(), kPowerOn);
  EXPECT_EQ(Status()[2], 2);  // the refused command was not carried out
  EXPECT_EQ(NoData(Speed(0x81)).status, 0);
  EXPECT_EQ(Status()[2], 1);
}

TEST_F(Emulator, APowerCycleWithADiscSpinsItUpAgain) {
  LoadReadyDisc();
  drive->PowerCycle();
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kPowerOn);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kBecomingReady);
  devices.Sleep(1000);
  EXPECT_EQ(In(kReadDiscInfo, 34).Sense(), kMediumChanged);
  EXPECT_EQ(In(kReadDiscInfo, 34).status, 0);
}

TEST_F(Emulator, QueuedAnswersComeFirstButNeverToInquiry) {
  drive->PowerCycle();
  drive->QueueSense({2, 0x04, 0x01}, 2);
  drive->QueueSense({6, 0x29, 0x00, 0x20});
  RawReply busy;
  busy.status = 0x08;
  drive->QueueReply(busy);
  EXPECT_EQ(In(kInquiry, 254).status, 0);
  EXPECT_EQ(In(kReadStatus, 256).Sense(), kBecomingReady);
  EXPECT_EQ(In(kReadStatus, 256).Sense(), kBecomingReady);
  const Outcome flagged = In(kReadStatus, 256);
  EXPECT_EQ(flagged.sense[2], 0x26);
  EXPECT_EQ(flagged.sense[12], 0x29);
  const Outcome raw = In(kReadStatus, 256);
  EXPECT_EQ(raw.status, 0x08);
  EXPECT_EQ(raw.sense[0], 0);
  EXPECT_EQ(In(kReadStatus, 256).Sense(), kPowerOn);  // the attention was still pending
  EXPECT_EQ(In(kReadStatus, 256).status, 0);
}

// --- counters ---

TEST_F(Emulator, PlaybackCountersGrowWithVirtualTimeAndClearKeepsTheFrame) {
  drive->StartAudio(300, 7);
  devices.Sleep(1000 * 1000);  // 300000 sectors = 0x000493E0, 42857 errors = 0x0000A769
  const Outcome counters = In(kReadCounters, 32);
  ASSERT_EQ(counters.status, 0);
  EXPECT_EQ(Slice(counters.data, 0, 12),
            (Bytes{0x00, 0x00, 0xA7, 0x69, 0x00, 0x04, 0x93, 0xE0, 0x00, 0x04, 0x93, 0xE0}));

  ASSERT_EQ(Out(kClearCounters).status, 0);
  EXPECT_EQ(Slice(In(kReadCounters, 32).data, 0, 12), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x04, 0x93, 0xE0}));
  devices.Sleep(1000);  // 300 more sectors, 42 errors
  EXPECT_EQ(Slice(In(kReadCounters, 32).data, 0, 12), (Bytes{0, 0, 0, 42, 0, 0, 0x01, 0x2C, 0x00, 0x04, 0x95, 0x0C}));

  drive->StopAudio();
  devices.Sleep(5000);
  EXPECT_EQ(drive->TransferredSectors(), 300u);
}

TEST_F(Emulator, ScratchedStretchesAddTheirErrorsWhereTheyArePlayed) {
  // Frames 100..199 fail one in 10 (100, 110, ..., 190), 300..309 all fail.
  drive->SetDamage({{100, 200, 10}, {300, 310, 1}});
  drive->SetCounters(0, 0, 95);
  drive->StartAudio(1, 0);
  const struct {
    std::uint64_t playMs;
    std::uint32_t lastFrame, errors;
  } steps[] = {
      {5000, 100, 0},     // up to frame 99: still clean
      {1000, 101, 1},     // frame 100 failed
      {50000, 151, 6},    // 100..150: 100, 110, ..., 150
      {100000, 251, 10},  // the rest of the stretch, then clean
      {100000, 351, 20},  // the deep scratch, all ten
  };
  for (const auto& step : steps) {
    devices.Sleep(static_cast<std::uint32_t>(step.playMs));
    SCOPED_TRACE(testing::Message() << "at frame " << step.lastFrame);
    const Bytes counters = In(kReadCounters, 32).data;
    EXPECT_EQ(Word(counters, 0), step.errors);
    EXPECT_EQ(Word(counters, 4), step.lastFrame - 95);
    EXPECT_EQ(Word(counters, 8), step.lastFrame);
  }
  ASSERT_EQ(Out(kClearCounters).status, 0);
  drive->SetCounters(0, 0, 105);  // played again from inside the stretch
  devices.Sleep(10000);           // frames 105..114: only 110 fails
  EXPECT_EQ(Word(In(kReadCounters, 32).data, 0), 1u);
}

TEST_F(Emulator, CountersAreBigEndian) {
  drive->SetCounters(258, 4096, 65536);
  EXPECT_EQ(Slice(In(kReadCounters, 32).data, 0, 12),
            (Bytes{0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00}));
}

// --- bus power ---

TEST_F(Emulator, EnoughPowerIsReportedOnceTheMeasurementIsDone) {
  LoadReadyDisc();
  drive->SetBusPower(4400);
  ASSERT_EQ(Out(kStartPowerCheck).status, 0);
  EXPECT_EQ(Slice(In(kReadPower, 8).data, 4, 4), Bytes(4, 0));
  devices.Sleep(25000);
  ASSERT_TRUE(drive->Connected());
  EXPECT_EQ(Slice(In(kReadPower, 8).data, 4, 4), (Bytes{0x00, 0x00, 0x11, 0x30}));
}

TEST_F(Emulator, PowerCheckNeedsADisc) {
  drive->RemoveDisc();
  drive->CloseTray();
  EXPECT_EQ(Out(kStartPowerCheck).Sense(), kNoDiscTrayClosed);
  devices.Sleep(25000);
  EXPECT_EQ(Slice(In(kReadPower, 8).data, 4, 4), Bytes(4, 0));
}

TEST_F(Emulator, TooLittlePowerDropsTheDriveOffTheBusUntilItIsPluggedAgain) {
  LoadReadyDisc();
  drive->SetBusPower(kBrownOutPower - 1);
  ASSERT_EQ(Out(kStartPowerCheck).status, 0);
  devices.Sleep(kBrownOutAfterMs - 1);
  EXPECT_EQ(In(kInquiry, 254).status, 0);

  devices.Sleep(1);
  const Outcome gone = In(kInquiry, 254);
  EXPECT_FALSE(gone.delivered);
  EXPECT_EQ(gone.status, 0xEE);  // reply untouched
  EXPECT_EQ(gone.data[8], 0);
  EXPECT_EQ(devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite), kNoDevice);
  drive->SetBusPower(kDefaultBusPower);  // more power afterwards does not bring it back
  EXPECT_FALSE(drive->Connected());

  devices.Plug('E');
  EXPECT_FALSE(In(kInquiry, 254).delivered);  // the old handle stays dead
  const DeviceHandle fresh = devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite);
  ASSERT_NE(fresh, kNoDevice);
  EXPECT_EQ(Send(fresh, kReadStatus, DataDirection::In, 256).Sense(), kPowerOn);
}

TEST_F(Emulator, PowerAtTheBrownOutLevelStaysOnTheBus) {
  LoadReadyDisc();
  drive->SetBusPower(kBrownOutPower);
  ASSERT_EQ(Out(kStartPowerCheck).status, 0);
  devices.Sleep(25000);
  EXPECT_TRUE(In(kInquiry, 254).delivered);
  EXPECT_EQ(Slice(In(kReadPower, 8).data, 4, 4), (Bytes{0x00, 0x00, 0x0F, 0xA0}));
}

// --- the device seam ---

TEST_F(Emulator, OnlyTheExactDevicePathOfAnAttachedDriveOpens) {
  const struct {
    const wchar_t* path;
    bool opens;
  } cases[] = {
      {L"\\\\.\\E:", true},    {L"\\\\.\\e:", false}, {L"\\\\.\\F:", false},
      {L"\\\\.\\E:\\", false}, {L"E:", false},        {L"\\\\?\\E:", false},
  };
  for (const auto& c : cases) {
    const DeviceHandle opened = devices.Open(c.path, DeviceAccess::ReadWrite);
    EXPECT_EQ(opened != kNoDevice, c.opens);
    devices.Close(opened);
  }
}

TEST_F(Emulator, FaultSwitchesDropTheDriveAfterNCommandsOrFailThePassThrough) {
  drive->DropOffAfter(2);
  EXPECT_EQ(In(kReadStatus, 256).status, 0);
  EXPECT_TRUE(drive->Connected());
  EXPECT_EQ(In(kReadCounters, 32).status, 0);
  EXPECT_FALSE(drive->Connected()) << "gone after the second command";
  EXPECT_FALSE(In(kReadStatus, 256).delivered);
  drive->Plug();
  handle = devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite);
  EXPECT_TRUE(In(kReadStatus, 256).delivered) << "plugged again, the drop-off is spent";
  EXPECT_TRUE(drive->Connected());

  devices.FailPassThrough('E', true);
  drive->ClearLog();
  EXPECT_FALSE(In(kReadStatus, 256).delivered);
  EXPECT_TRUE(drive->Log().empty()) << "nothing reaches the drive";
  EXPECT_NE(devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite), kNoDevice) << "the device stays";
  devices.FailPassThrough('E', false);
  EXPECT_TRUE(In(kReadStatus, 256).delivered);

  drive->QueueSense({6, 0x29, 0}, 5);
  drive->ClearQueue();
  EXPECT_EQ(In(kReadStatus, 256).status, 0) << "the queue is gone";
}

TEST_F(Emulator, HandlesAreCountedAndGoStaleWhenTheDriveGoes) {
  EXPECT_EQ(devices.OpenHandleCount(), 1);
  const DeviceHandle second = devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite);
  EXPECT_EQ(devices.OpenHandleCount(), 2);
  devices.Close(second);
  devices.Close(second);
  EXPECT_EQ(devices.OpenHandleCount(), 1);
  EXPECT_FALSE(Send(second, kInquiry, DataDirection::In, 254).delivered);

  devices.Unplug('E');
  EXPECT_FALSE(In(kInquiry, 254).delivered);
  EXPECT_EQ(devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite), kNoDevice);
  EXPECT_EQ(devices.OpenHandleCount(), 1);  // still open, if useless
  devices.Plug('E');
  EXPECT_FALSE(In(kInquiry, 254).delivered);

  const DeviceHandle replugged = devices.Open(L"\\\\.\\E:", DeviceAccess::ReadWrite);
  EXPECT_TRUE(Send(replugged, kInquiry, DataDirection::In, 254).delivered);
  devices.Detach('E');
  EXPECT_FALSE(Send(replugged, kInquiry, DataDirection::In, 254).delivered);
  devices.Attach('E', QuietDriveModel());
  EXPECT_FALSE(Send(replugged, kInquiry, DataDirection::In, 254).delivered);
}

TEST_F(Emulator, ANotificationHandleCannotSendCommandsButHoldsNotificationOff) {
  const DeviceHandle notification = devices.Open(L"\\\\.\\E:", DeviceAccess::None);
  ASSERT_NE(notification, kNoDevice);
  EXPECT_FALSE(Send(notification, kInquiry, DataDirection::In, 254).delivered);
  EXPECT_FALSE(devices.MediaChangeNotificationPrevented('E'));
  EXPECT_TRUE(devices.PreventMediaChangeNotification(notification));
  EXPECT_TRUE(devices.MediaChangeNotificationPrevented('E'));
  devices.Close(notification);
  EXPECT_FALSE(devices.MediaChangeNotificationPrevented('E'));
  EXPECT_FALSE(devices.PreventMediaChangeNotification(notification));
}

TEST_F(Emulator, ACommandWithoutItsDataBufferFailsInTheOperatingSystem) {
  ScsiCommand command;
  command.cdb = kReadStatus.data();
  command.transferLength = 256;
  command.direction = DataDirection::In;
  ScsiReply reply;
  reply.status = 0x77;
  EXPECT_FALSE(devices.PassThrough(handle, command, reply));
  EXPECT_EQ(reply.status, 0x77);
  EXPECT_TRUE(drive->Log().empty());
}

TEST_F(Emulator, LogHoldsEveryCommandWithItsData) {
  const Bytes page = DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x00, 0x00});
  WritePage(page);
  NoData(Speed(0x84));
  ASSERT_EQ(drive->Log().size(), 2u);
  const LoggedCommand& write = drive->Log()[0];
  EXPECT_EQ(write.cdb, kWritePage);
  EXPECT_EQ(write.direction, DataDirection::Out);
  EXPECT_EQ(write.transferLength, 256u);
  EXPECT_EQ(write.dataOut, page);
  EXPECT_EQ(write.status, 0);
  const LoggedCommand& refused = drive->Log()[1];
  EXPECT_EQ(refused.cdb, Speed(0x84));
  EXPECT_EQ(refused.direction, DataDirection::None);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.sense[2], 5);
  EXPECT_EQ(refused.sense[12], 0x24);
  drive->ClearLog();
  EXPECT_TRUE(drive->Log().empty());
}

TEST(EmulatorClock, SleepsAdvanceVirtualTimeAndTheDemoModeFollowsRealTime) {
  EmulatedDevices devices;
  devices.Sleep(30000);
  EXPECT_EQ(devices.Clock().NowMs(), 30000u);

  VirtualClock& clock = devices.Clock();
  clock.FollowRealTime(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(clock.NowMs(), 30020u);
  devices.Sleep(1000);
  EXPECT_GE(clock.NowMs(), 31020u);
  clock.FollowRealTime(false);
  const std::uint64_t stopped = clock.NowMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(clock.NowMs(), stopped);
}

}  // namespace
}  // namespace norvane::emu
