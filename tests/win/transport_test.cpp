#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "drive/channel.h"
#include "drive/device_io_win32.h"
#include "tests/common/command_blocks.h"

namespace norvane {
namespace {

using enum SenseClass;

template <typename T>
T FieldAt(const PassThroughRequest& request, std::size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&request) + offset, sizeof value);
  return value;
}

TEST(PassThroughRequest, HasThePlatformLayout) {
#ifdef _WIN64
  EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), 56u);
  EXPECT_EQ(offsetof(PassThroughRequest, sense), 60u);
  EXPECT_EQ(sizeof(PassThroughRequest), 96u);
#else
  EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), 44u);
  EXPECT_EQ(offsetof(PassThroughRequest, sense), 48u);
  EXPECT_EQ(sizeof(PassThroughRequest), 80u);
#endif
}

TEST(PassThroughRequest, IsFilledFieldByField) {
  const std::uint8_t cdb[kCdbLength] = {0x3C, 0x01, 0xF4, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA5};
  std::uint8_t data[256];
  PassThroughRequest request;
  std::memset(&request, 0xCC, sizeof request);  // every byte not written must come back zero
  FillPassThroughRequest(request, {cdb, data, 256, DataDirection::In, kPassThroughTimeoutSeconds});

  using Sptd = SCSI_PASS_THROUGH_DIRECT;
  EXPECT_EQ(FieldAt<USHORT>(request, offsetof(Sptd, Length)), sizeof(Sptd));
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, ScsiStatus)), 0);
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, PathId)), 0);
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, TargetId)), 0);
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, Lun)), 0);
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, CdbLength)), 12);
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, SenseInfoLength)), 18);
  EXPECT_EQ(FieldAt<UCHAR>(request, offsetof(Sptd, DataIn)), SCSI_IOCTL_DATA_IN);
  EXPECT_EQ(FieldAt<ULONG>(request, offsetof(Sptd, DataTransferLength)), 256u);
  EXPECT_EQ(FieldAt<ULONG>(request, offsetof(Sptd, TimeOutValue)), 360u);
  EXPECT_EQ(FieldAt<void*>(request, offsetof(Sptd, DataBuffer)), data);
  EXPECT_EQ(FieldAt<ULONG>(request, offsetof(Sptd, SenseInfoOffset)), offsetof(PassThroughRequest, sense));
  EXPECT_EQ(std::memcmp(request.sptd.Cdb, cdb, 12), 0);
  for (int i = 12; i < 16; ++i) EXPECT_EQ(request.sptd.Cdb[i], 0) << i;
  EXPECT_EQ(request.filler, 0u);
  for (unsigned char b : request.sense) EXPECT_EQ(b, 0);
#ifndef _WIN64
  // The x86 block, byte for byte where the fields sit.
  const auto* raw = reinterpret_cast<const unsigned char*>(&request);
  EXPECT_EQ(raw[0], 44);
  EXPECT_EQ(raw[6], 12);
  EXPECT_EQ(raw[7], 18);
  EXPECT_EQ(raw[8], 1);
  EXPECT_EQ(FieldAt<ULONG>(request, 12), 256u);
  EXPECT_EQ(FieldAt<ULONG>(request, 16), 360u);
  EXPECT_EQ(FieldAt<ULONG>(request, 24), 48u);
  EXPECT_EQ(raw[28], 0x3C);
  EXPECT_EQ(raw[39], 0xA5);
#endif
}

TEST(PassThroughRequest, CarriesEachDirection) {
  const std::uint8_t* cdb = test::kStop.data();
  const struct {
    DataDirection direction;
    UCHAR expected;
  } cases[] = {{DataDirection::Out, SCSI_IOCTL_DATA_OUT},
               {DataDirection::In, SCSI_IOCTL_DATA_IN},
               {DataDirection::None, SCSI_IOCTL_DATA_UNSPECIFIED}};
  for (const auto& c : cases) {
    PassThroughRequest request;
    FillPassThroughRequest(request, {cdb, nullptr, 0, c.direction, kPassThroughTimeoutSeconds});
    EXPECT_EQ(request.sptd.DataIn, c.expected);
    EXPECT_EQ(request.sptd.DataBuffer, nullptr);
    EXPECT_EQ(request.sptd.DataTransferLength, 0u);
  }
}

// What the driver hands back: its status, the sense it wrote, and in
// DataTransferLength the bytes that moved in place of the length asked for.
// Sense in the descriptor format reaches the drive layer in the fixed
// layout, but only with a failed status: with a good one the sense bytes
// mean nothing and are left as they are.
TEST(PassThroughRequest, TheReplyIsTakenFromWhatTheDriverHandsBack) {
  const std::uint8_t* cdb = test::kReadCounters.data();
  std::uint8_t data[32];
  constexpr std::uint8_t kFixed = 0x70, kDescriptor = 0x72;
  const struct {
    const char* name;
    UCHAR status;
    ULONG moved;
    std::uint8_t format;  // the response code the driver wrote
    std::uint8_t senseKey, asc, ascq;
    bool becomesFixed;
  } cases[] = {
      {"all of it", 0x00, 32, kFixed, 0x0, 0x00, 0x00, false},
      {"one byte", 0x00, 1, kFixed, 0x0, 0x00, 0x00, false},
      {"a check condition", 0x02, 0, kFixed, 0x5, 0x24, 0x00, false},
      {"a check condition in descriptor sense", 0x02, 0, kDescriptor, 0x6, 0x28, 0x01, true},
      {"a good status beside descriptor bytes", 0x00, 32, kDescriptor, 0x6, 0x28, 0x01, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PassThroughRequest request;
    FillPassThroughRequest(request, {cdb, data, 32, DataDirection::In, kPassThroughTimeoutSeconds});
    request.sptd.ScsiStatus = c.status;
    request.sptd.DataTransferLength = c.moved;
    const std::uint8_t written[18] = {c.format,
                                      c.format == kFixed ? std::uint8_t{0} : c.senseKey,
                                      c.format == kFixed ? c.senseKey : c.asc,
                                      c.format == kFixed ? std::uint8_t{0} : c.ascq,
                                      0,
                                      0,
                                      0,
                                      10,
                                      0,
                                      0,
                                      0,
                                      0,
                                      c.format == kFixed ? c.asc : std::uint8_t{0},
                                      c.format == kFixed ? c.ascq : std::uint8_t{0}};
    std::memcpy(request.sense, written, sizeof written);
    ScsiReply reply;
    TakeReply(request, reply);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.transferred, c.moved);
    if (c.format == kFixed || c.becomesFixed) {
      EXPECT_EQ(reply.sense[0], kFixed);
      EXPECT_EQ(reply.sense[2], c.senseKey);
      EXPECT_EQ(reply.sense[12], c.asc);
      EXPECT_EQ(reply.sense[13], c.ascq);
    } else {
      EXPECT_EQ(0, std::memcmp(reply.sense, written, sizeof written)) << "sense under a good status was rewritten";
    }
  }
}

TEST(Win32Transport, ALetterWithNoDeviceFailsToOpenAndToSend) {
  InstallDeviceIo(Win32Devices());
  EXPECT_FALSE(OpenDrive('Q'));
  EXPECT_EQ(Channel().letter, 'Q');
  EXPECT_EQ(Channel().device, kNoDevice);

  std::uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::uint8_t inquiry[kCdbLength] = {0x12, 0, 0, 0, 8};
  EXPECT_FALSE(SendCdb(inquiry, buffer, 8, DataDirection::In));
  EXPECT_EQ(Channel().lastSense, SenseFailed);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_FALSE(LockMediaNotification());
  EXPECT_EQ(Channel().notification, kNoDevice);
}

}  // namespace
}  // namespace norvane
