// The structures Windows sends with WM_DEVICECHANGE, filled in as it fills
// them: the header and what follows it, in one block. The demo's bus tells
// its windows of its drives with them; the tests play the system with them.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <string>
#include <vector>

#include "drive/device_interface_win32.h"
#include "drive/device_io.h"

namespace norvane::emu {

class DeviceBroadcast {
 public:
  // A volume (a drive letter) that came or went; with DBTF_MEDIA, its disc.
  static DeviceBroadcast Volume(char letter, WORD flags = 0) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (letter - 'A');
    volume.dbcv_flags = flags;
    return DeviceBroadcast(&volume, sizeof volume);
  }
  static DeviceBroadcast Media(char letter) { return Volume(letter, DBTF_MEDIA); }
  // A device of an interface class, by the name the system gives it.
  static DeviceBroadcast Interface(const GUID& kind = kOpticalDriveInterface,
                                   const std::wstring& name = kUsbDriveInterfaceName) {
    std::vector<BYTE> block(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t));
    auto* device = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(block.data());
    device->dbcc_size = static_cast<DWORD>(block.size());
    device->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    device->dbcc_classguid = kind;
    name.copy(device->dbcc_name, name.size());
    return DeviceBroadcast(block.data(), block.size());
  }
  // About a handle a window registered for: the system names the handle and
  // the registration (none: a window may go by the handle alone).
  static DeviceBroadcast Handle(DeviceHandle handle, HDEVNOTIFY registration = nullptr) {
    return Event(handle, GUID{}, registration);
  }
  // A file system's event about the volume behind a handle (DBT_CUSTOMEVENT).
  static DeviceBroadcast Event(DeviceHandle handle, const GUID& event, HDEVNOTIFY registration = nullptr) {
    DEV_BROADCAST_HANDLE about{};
    about.dbch_size = sizeof about;
    about.dbch_devicetype = DBT_DEVTYP_HANDLE;
    about.dbch_handle = reinterpret_cast<HANDLE>(handle);
    about.dbch_hdevnotify = registration;
    about.dbch_eventguid = event;
    about.dbch_nameoffset = -1;
    return DeviceBroadcast(&about, sizeof about);
  }

  // What WM_DEVICECHANGE carries in its lParam.
  LPARAM Address() const { return reinterpret_cast<LPARAM>(m_block.data()); }

 private:
  // A Norvane drive on USB, as its interface is named.
  static constexpr wchar_t kUsbDriveInterfaceName[] =
      L"\\\\?\\USBSTOR#CdRom&Ven_NORVANE&Prod_BD-RE#0001#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}";

  DeviceBroadcast(const void* bytes, std::size_t size)
      : m_block(static_cast<const BYTE*>(bytes), static_cast<const BYTE*>(bytes) + size) {}

  std::vector<BYTE> m_block;
};

}  // namespace norvane::emu
