// The emulated drive's firmware on random command blocks, data and events:
// it must never crash, never hand back more data than asked for, and answer
// what it does not take the way firmware does: CHECK CONDITION with
// fixed-format sense, ILLEGAL REQUEST for an unknown operation code.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "emulator/emulated_devices.h"
#include "emulator/scsi_codes.h"

namespace {

using namespace norvane;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool KnownOperation(std::uint8_t code) {
  using namespace emu::opcode;
  return code == kStartStopUnit || code == kInquiry || code == kWriteBuffer || code == kReadBuffer ||
         code == kReadDiscInformation || code == kSetCdSpeed;
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Empty() const { return m_offset >= m_size; }
  std::uint8_t Byte() { return m_offset < m_size ? m_data[m_offset++] : 0; }
  std::uint32_t Length() { return static_cast<std::uint32_t>(Byte() << 8 | Byte()) % 1024; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_offset = 0;
};

// Something that happens to the drive between commands, as a person or the
// bus would do it.
void Happen(emu::EmulatedDevices& devices, emu::EmulatedDrive& drive, std::uint8_t what) {
  switch (what % 12) {
    case 0: devices.Sleep(static_cast<std::uint32_t>(what) * 100); break;
    case 1: drive.PowerCycle(); break;
    case 2: drive.InsertDisc(what * 10u); break;
    case 3: drive.RemoveDisc(); break;
    case 4: drive.CloseTray(); break;
    case 5: drive.SetBusPower(what * 40u); break;
    case 6: drive.StartAudio(what, what % 7); break;
    case 7: drive.SetMediumRemovalPrevented(what & 0x10); break;
    default: break;  // most of the time, nothing
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  emu::EmulatedDevices devices;
  emu::EmulatedDrive& drive = devices.Attach('E', emu::QuietDriveModel());
  drive.SetDamage({{100, 5000, 3}});
  Input input(data, size);
  while (!input.Empty()) {
    Happen(devices, drive, input.Byte());
    std::uint8_t cdb[kCdbLength];
    for (std::uint8_t& b : cdb) b = input.Byte();
    const auto direction = static_cast<DataDirection>(input.Byte() % 3);
    const std::uint32_t length = input.Length();
    // Guard bytes after the buffer catch data written past the length.
    std::vector<std::uint8_t> buffer(length + 16, 0xCD);
    if (direction == DataDirection::Out) {
      for (std::uint32_t i = 0; i < length; ++i) buffer[i] = input.Byte();
    }
    ScsiCommand command{cdb, buffer.data(), length, direction, kPassThroughTimeoutSeconds};
    ScsiReply reply;
    drive.Execute(command, reply);
    Require(std::all_of(buffer.end() - 16, buffer.end(), [](std::uint8_t b) { return b == 0xCD; }));
    if (reply.status == emu::kStatusGood) {
      Require(KnownOperation(cdb[0]));
      continue;
    }
    Require(reply.status == emu::kStatusCheckCondition);
    Require(reply.sense[0] == 0x70 && reply.sense[7] == kSenseRequestLength - 8);
    const std::uint8_t key = reply.sense[2] & 0x0F;
    Require(key == 0x2 || key == 0x5 || key == 0x6);
    // An unknown operation is refused as such, unless an attention comes first.
    if (!KnownOperation(cdb[0]) && key != 0x6) Require(key == 0x5 && reply.sense[12] == 0x20);
  }
  return 0;
}
