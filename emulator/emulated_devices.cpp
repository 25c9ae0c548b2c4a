#include "emulator/emulated_devices.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <utility>

namespace norvane::emu {

namespace {

constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

// The codes Windows gives for these failures; the emulated devices give them
// in its place, so that the programs' reports can be tested anywhere.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorIoDevice = 1117;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

template <class Set>
void SetMember(Set& set, char letter, bool member) {
  if (member) {
    set.insert(letter);
  } else {
    set.erase(letter);
  }
}

// The drive letter of a path of the exact form \\.\X:, or 0.
char LetterOfPath(const wchar_t* path) {
  if (path == nullptr) return 0;
  const std::wstring_view text(path);
  if (text.size() != kDevicePrefix.size() + 2 || !text.starts_with(kDevicePrefix) || text.back() != L':') return 0;
  const wchar_t letter = text[kDevicePrefix.size()];
  return letter >= L'A' && letter <= L'Z' ? static_cast<char>(letter) : 0;
}

}  // namespace

EmulatedDrive& EmulatedDevices::Attach(char letter, DriveModel model) {
  Detach(letter);
  auto& slot = m_drives[letter];
  slot = std::make_unique<EmulatedDrive>(std::move(model), m_clock);
  return *slot;
}

void EmulatedDevices::Detach(char letter) {
  if (m_drives.erase(letter) == 0) return;
  for (auto& [value, handle] : m_handles) {
    if (handle.letter == letter) handle.letter = 0;
  }
}

void EmulatedDevices::Unplug(char letter) {
  if (EmulatedDrive* drive = Drive(letter)) drive->Unplug();
}

void EmulatedDevices::Plug(char letter) {
  if (EmulatedDrive* drive = Drive(letter)) drive->Plug();
}

EmulatedDrive* EmulatedDevices::Drive(char letter) {
  const auto found = m_drives.find(letter);
  return found == m_drives.end() ? nullptr : found->second.get();
}

void EmulatedDevices::FailPassThrough(char letter, bool fail) { SetMember(m_failingPassThrough, letter, fail); }

void EmulatedDevices::LockForAnotherProgram(char letter, bool locked) {
  SetMember(m_lockedByAnotherProgram, letter, locked);
}

void EmulatedDevices::DenyOpens(char letter, bool denied) { SetMember(m_deniedOpens, letter, denied); }

bool EmulatedDevices::LockVolume(char letter, const VolumeEventListener& tell) {
  tell(VolumeEvent::Lock);
  if (OpenHandlesTo(letter) > 0) {
    tell(VolumeEvent::LockFailed);
    return false;
  }
  DenyOpens(letter, true);
  LockForAnotherProgram(letter, true);
  return true;
}

void EmulatedDevices::UnlockVolume(char letter, const VolumeEventListener& tell) {
  DenyOpens(letter, false);
  LockForAnotherProgram(letter, false);
  tell(VolumeEvent::Unlock);
}

int EmulatedDevices::OpenHandlesTo(char letter) const {
  return static_cast<int>(std::ranges::count_if(m_handles, [&](const auto& entry) {
    const OpenHandle& handle = entry.second;
    const auto drive = m_drives.find(letter);
    return handle.letter == letter && drive != m_drives.end() && drive->second->Connected() &&
           drive->second->BusSession() == handle.busSession;
  }));
}

void EmulatedDevices::HoldAnswers(char letter) {
  const std::lock_guard lock(m_holdMutex);
  m_heldLetters.insert(letter);
}

void EmulatedDevices::ReleaseAnswers(char letter) {
  const std::lock_guard lock(m_holdMutex);
  m_heldLetters.erase(letter);
  m_holdChanged.notify_all();
}

bool EmulatedDevices::WaitForHeldCommand(std::chrono::milliseconds bound) {
  std::unique_lock lock(m_holdMutex);
  return m_holdChanged.wait_for(lock, bound, [this] { return m_heldCommands > 0; });
}

void EmulatedDevices::WaitWhileHeld(char letter) {
  std::unique_lock lock(m_holdMutex);
  if (!m_heldLetters.contains(letter)) return;
  ++m_heldCommands;
  m_holdChanged.notify_all();
  m_holdChanged.wait(lock, [&] { return !m_heldLetters.contains(letter); });
  --m_heldCommands;
}

void EmulatedDevices::AddOtherLetter(char letter, OtherKind kind) { m_otherLetters[letter] = kind; }

void EmulatedDevices::AddOpticalLetterWithoutPassThrough(char letter, std::uint32_t code) {
  m_withoutPassThrough[letter] = code;
}

bool EmulatedDevices::IsOpticalDrive(char letter) {
  const EmulatedDrive* drive = Drive(letter);
  return (drive != nullptr && drive->Connected()) || m_withoutPassThrough.contains(letter);
}

bool EmulatedDevices::Fail(std::uint32_t code) {
  m_lastError = code;
  return false;
}

DeviceHandle EmulatedDevices::Refuse(std::uint32_t code) {
  m_lastError = code;
  return kNoDevice;
}

VirtualClock& EmulatedDevices::Clock() { return m_clock; }

int EmulatedDevices::OpenHandleCount() const { return static_cast<int>(m_handles.size()); }

bool EmulatedDevices::MediaChangeNotificationPrevented(char letter) const {
  return std::ranges::any_of(m_handles, [letter](const auto& entry) {
    return entry.second.letter == letter && entry.second.preventsNotification;
  });
}

// The drive a handle still reaches: attached, on the bus, and in the session
// the handle was opened in.
EmulatedDrive* EmulatedDevices::DriveBehind(const OpenHandle& handle) {
  EmulatedDrive* drive = Drive(handle.letter);
  if (drive == nullptr || !drive->Connected() || drive->BusSession() != handle.busSession) return nullptr;
  return drive;
}

DeviceHandle EmulatedDevices::Open(const wchar_t* path, DeviceAccess access) {
  const char letter = LetterOfPath(path);
  if (m_otherLetters.contains(letter)) {
    ++m_otherContacts;
    return Refuse(kErrorAccessDenied);
  }
  if (m_withoutPassThrough.contains(letter)) return Admit(letter, access, 0);
  EmulatedDrive* drive = letter == 0 ? nullptr : Drive(letter);
  if (drive == nullptr || !drive->Connected()) return Refuse(kErrorFileNotFound);
  if (m_deniedOpens.contains(letter) && access == DeviceAccess::ReadWrite) return Refuse(kErrorAccessDenied);
  return Admit(letter, access, drive->BusSession());
}

DeviceHandle EmulatedDevices::Admit(char letter, DeviceAccess access, std::uint32_t busSession) {
  const DeviceHandle handle = m_nextHandle;
  m_nextHandle += 4;
  m_handles[handle] = OpenHandle{letter, access, busSession, false};
  m_lastError = 0;
  return handle;
}

bool EmulatedDevices::PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) {
  const auto found = m_handles.find(device);
  if (found == m_handles.end()) return Fail(kErrorInvalidHandle);
  const char letter = found->second.letter;
  if (found->second.access != DeviceAccess::ReadWrite) return Fail(kErrorAccessDenied);
  if (command.cdb == nullptr || (command.transferLength != 0 && command.data == nullptr)) {
    return Fail(kErrorInvalidParameter);
  }
  if (const auto refusing = m_withoutPassThrough.find(letter); refusing != m_withoutPassThrough.end()) {
    return Fail(refusing->second);
  }
  WaitWhileHeld(letter);
  EmulatedDrive* drive = DriveBehind(found->second);
  if (drive == nullptr) return Fail(kErrorDeviceNotConnected);
  if (m_failingPassThrough.contains(letter)) return Fail(kErrorIoDevice);
  if (m_lockedByAnotherProgram.contains(letter)) return Fail(kErrorAccessDenied);
  drive->Execute(command, reply);
  m_lastError = 0;
  return true;
}

bool EmulatedDevices::PreventMediaChangeNotification(DeviceHandle notification) {
  const auto found = m_handles.find(notification);
  if (found == m_handles.end() || DriveBehind(found->second) == nullptr) return false;
  found->second.preventsNotification = true;
  return true;
}

void EmulatedDevices::Close(DeviceHandle handle) { m_handles.erase(handle); }

void EmulatedDevices::Sleep(std::uint32_t milliseconds) { m_clock.Advance(milliseconds); }

}  // namespace norvane::emu
