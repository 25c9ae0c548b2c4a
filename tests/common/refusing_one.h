// The emulated drives behind a system that counts the commands going out
// and has a drive refuse one of them (ILLEGAL REQUEST, invalid field).
#pragma once

#include <cstddef>

#include "drive/device_io.h"
#include "emulator/emulated_devices.h"

namespace norvane::test {

class RefusingOne final : public DeviceIo {
 public:
  // The command numbered `refused` (from 0) that reaches the drive at `letter` is refused.
  RefusingOne(emu::EmulatedDevices& devices, char letter, std::size_t refused)
      : m_devices(devices), m_letter(letter), m_refused(refused) {}
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override { return m_devices.Open(path, access); }
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    if (m_sent++ == m_refused) m_devices.Drive(m_letter)->QueueSense({0x5, 0x24, 0x00});
    return m_devices.PassThrough(device, command, reply);
  }
  bool PreventMediaChangeNotification(DeviceHandle handle) override {
    return m_devices.PreventMediaChangeNotification(handle);
  }
  void Close(DeviceHandle handle) override { m_devices.Close(handle); }
  void Sleep(std::uint32_t milliseconds) override { m_devices.Sleep(milliseconds); }
  bool IsOpticalDrive(char letter) override { return m_devices.IsOpticalDrive(letter); }
  std::uint32_t LastErrorCode() const override { return m_devices.LastErrorCode(); }

 private:
  emu::EmulatedDevices& m_devices;
  char m_letter;
  std::size_t m_refused;
  std::size_t m_sent = 0;
};

}  // namespace norvane::test
