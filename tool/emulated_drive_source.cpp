#include "tool/emulated_drive_source.h"

#include <cerrno>

#include "drive/channel.h"
#include "emulator/demo_drives.h"
#include "tool/drive_letters.h"

namespace norvane::tool {
namespace {

constexpr std::uint32_t kAccessDenied = 5;  // the code the emulated devices give, as Windows does

}  // namespace

std::vector<DeviceNode> EmulatedDriveSource::Candidates() {
  std::vector<DeviceNode> nodes;
  for (const char letter : OpticalDriveLetters(m_devices)) nodes.push_back(LetterNode(letter));
  return nodes;
}

std::optional<DeviceNode> EmulatedDriveSource::Resolve(const std::string& name) const {
  const char letter = LetterNamed(name);
  if (letter == 0) return std::nullopt;
  return LetterNode(letter);
}

SystemError EmulatedDriveSource::LastError() const {
  if (m_devices.LastErrorCode() == kAccessDenied) {
    return {EACCES, "access denied: another program is using the emulated drive"};
  }
  std::string letters;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (m_devices.Drive(letter) != nullptr) letters += std::string(letters.empty() ? "" : ", ") + letter;
  }
  return {ENXIO, "no emulated drive answers there (emulated drives: " + letters + ")"};
}

void EmulatedDriveSource::DiscOffered(const DeviceNode& node) {
  if (emu::EmulatedDrive* drive = m_devices.Drive(LetterNamed(node.name))) drive->CloseTray();
}

DriveSource& DemoDrives::Source() {
  if (!m_source) {
    m_devices.Clock().FollowRealTime(true);
    emu::AttachDemoDrives(m_devices);
    m_source = std::make_unique<EmulatedDriveSource>(m_devices);
  }
  return *m_source;
}

}  // namespace norvane::tool
