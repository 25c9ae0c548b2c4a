// Heap allocations per drive command: a command block, its data and its
// sense live on the stack, so sending one allocates nothing. Counted with a
// replaced operator new around each command, on a device that answers GOOD
// without allocating anything itself.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "drive/commands.h"
#include "drive/readings.h"
#include "drive/reads.h"

namespace {
int allocations = 0;
bool counting = false;
}  // namespace

// The replaced pair allocates with malloc and frees with free, which the
// compiler cannot see through. Scoped, so that the files compiled after this
// one in a combined unit keep the warning.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (counting) ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace norvane::test {
namespace {

// Answers every command GOOD and every read with zeros.
class QuietDevice : public DeviceIo {
 public:
  DeviceHandle Open(const wchar_t*, DeviceAccess) override { return 1; }
  bool PassThrough(DeviceHandle, const ScsiCommand& command, ScsiReply& reply) override {
    ++commands;
    reply.status = 0;
    return command.cdb != nullptr;
  }
  bool PreventMediaChangeNotification(DeviceHandle) override { return true; }
  void Close(DeviceHandle) override {}
  void Sleep(std::uint32_t) override {}
  int commands = 0;
};

TEST(CommandAllocations, NoDriveCommandAllocates) {
  QuietDevice device;
  InstallDeviceIo(device);
  OpenDrive('E');
  const struct {
    const char* name;
    std::function<void()> send;
  } commands[] = {
      {"ReadDriveStatus",
       [] {
         std::uint8_t status[kDriveStatusLength];
         ReadDriveStatus(status);
       }},
      {"ReadQuietMode", [] { ReadQuietMode(); }},
      {"ReadErrorCounters", [] { ReadErrorCounters(); }},
      {"IsDriveResponding", [] { IsDriveResponding(); }},
      {"ReadVendorBuffer (power)",
       [] {
         std::uint8_t power[kPowerCheckLength];
         ReadVendorBuffer(PowerCheckBuffer, kDataBufferMode, kPowerCheckOffset, kPowerCheckLength, power);
       }},
      {"ReadRealTimeSupport", [] { ReadRealTimeSupport(); }},
      {"ReadQuality", [] { ReadQuality(); }},
      {"ReadPowerMeasurement", [] { ReadPowerMeasurement(); }},
      {"SendQuietSelection", [] { SendQuietSelection(QuietStandard); }},
      {"SendQuietSetting", [] { SendQuietSetting(true, QuietPerformance); }},
      {"WriteReadSetting", [] { WriteReadSetting(ReadModeMaster, true, false); }},
      {"WriteEjectAtPowerOn", [] { WriteEjectAtPowerOn(true); }},
      {"RestoreFactoryDefaults", [] { RestoreFactoryDefaults(); }},
      {"ClearErrorCounters", [] { ClearErrorCounters(); }},
      {"EjectDisc", [] { EjectDisc(); }},
      {"OpenTrayForInsert", [] { OpenTrayForInsert(); }},
      {"StopUnit", [] { StopUnit(); }},
      {"StartPowerCheck", [] { StartPowerCheck(); }},
      {"ForceEject", [] { ForceEject(); }},
      {"WaitForDisc", [] { WaitForDisc(); }},
  };
  for (const auto& command : commands) {
    allocations = 0;
    const int sentBefore = device.commands;
    counting = true;
    command.send();
    counting = false;
    const int sent = device.commands - sentBefore;
    std::printf("[ measure  ] %-26s %d command(s), %d heap allocation(s)\n", command.name, sent, allocations);
    EXPECT_GT(sent, 0) << command.name;
    EXPECT_EQ(allocations, 0) << command.name;
  }
  CloseDrive();
}

}  // namespace
}  // namespace norvane::test
