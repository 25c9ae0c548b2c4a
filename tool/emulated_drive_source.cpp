#include "tool/emulated_drive_source.h"

#include <cctype>
#include <cerrno>

#include "drive/channel.h"

namespace norvane::tool {
namespace {

DeviceNode NodeOf(char letter) { return {std::string(1, letter), DevicePath(letter)}; }

char LetterOf(const std::string& name) {
  std::string rest = name;
  if (rest.starts_with("\\\\.\\")) rest.erase(0, 4);
  if (rest.size() == 2 && rest[1] == ':') rest.pop_back();
  if (rest.size() != 1) return 0;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
  return letter >= 'C' && letter <= 'Z' ? letter : 0;
}

}  // namespace

std::vector<DeviceNode> EmulatedDriveSource::Candidates() {
  std::vector<DeviceNode> nodes;
  for (char letter = 'C'; letter <= 'Z'; ++letter) nodes.push_back(NodeOf(letter));
  return nodes;
}

std::optional<DeviceNode> EmulatedDriveSource::Resolve(const std::string& name) const {
  const char letter = LetterOf(name);
  if (letter == 0) return std::nullopt;
  return NodeOf(letter);
}

SystemError EmulatedDriveSource::LastError() const {
  std::string letters;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (m_devices.Drive(letter) != nullptr) letters += std::string(letters.empty() ? "" : ", ") + letter;
  }
  return {ENXIO, "no emulated drive answers there (emulated drives: " + letters + ")"};
}

void EmulatedDriveSource::DiscOffered(const DeviceNode& node) {
  if (emu::EmulatedDrive* drive = m_devices.Drive(LetterOf(node.name))) drive->CloseTray();
}

}  // namespace norvane::tool
