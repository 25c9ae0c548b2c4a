#include "tool/linux/drive_source_linux.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>

#include "drive/channel.h"
#include "drive/reads.h"

namespace norvane::tool {
namespace {

namespace fs = std::filesystem;

constexpr int kCapSysRawio = 17;

// The number after the prefix of names such as sr0 or sg12, or -1.
long NodeNumber(const std::string& name, const std::string& prefix) {
  if (!name.starts_with(prefix) || name.size() == prefix.size()) return -1;
  const std::string digits = name.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return -1;
  return std::stol(digits);
}

std::string FirstLineOf(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

DeviceNode NodeAt(const fs::path& path) { return {path.string(), WidePath(path.string())}; }

std::string TextOf(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// mountinfo writes a space, a tab, a newline and a backslash in a path as octal escapes.
std::string Unescaped(const std::string& field) {
  std::string text;
  for (std::size_t at = 0; at < field.size(); ++at) {
    const std::string digits = field.substr(at + 1, 3);
    const bool octal = field[at] == '\\' && digits.size() == 3 &&
                       std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; });
    if (!octal) {
      text += field[at];
      continue;
    }
    text += static_cast<char>(std::stoi(digits, nullptr, 8));
    at += 3;
  }
  return text;
}

}  // namespace

LinuxDriveSource::LinuxDriveSource(fs::path devices, fs::path sysfs)
    : m_devices(std::move(devices)), m_sysfs(std::move(sysfs)) {}

std::vector<fs::path> LinuxDriveSource::NumberedNodes(const std::string& prefix) const {
  std::vector<std::pair<long, fs::path>> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(m_devices, error)) {
    const long number = NodeNumber(entry.path().filename().string(), prefix);
    if (number >= 0) found.emplace_back(number, entry.path());
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> nodes;
  for (auto& [number, path] : found) nodes.push_back(std::move(path));
  return nodes;
}

// The SCSI device behind a node, as sysfs names it, or an empty path.
fs::path LinuxDriveSource::SysfsDevice(const char* deviceClass, const fs::path& node) const {
  std::error_code error;
  const fs::path device = fs::canonical(m_sysfs / "class" / deviceClass / node.filename() / "device", error);
  return error ? fs::path() : device;
}

// The kernel keeps the peripheral type each device reported; where it is
// readable, nodes of disks and tapes are not even opened.
bool LinuxDriveSource::SysfsTypeIsOptical(const fs::path& node) const {
  const fs::path typeFile = m_sysfs / "class" / "scsi_generic" / node.filename() / "device" / "type";
  std::error_code error;
  if (!fs::exists(typeFile, error)) return true;
  const std::string type = FirstLineOf(typeFile);
  return type == "4" || type == "5";
}

bool LinuxDriveSource::MayBeOptical(const DeviceNode& node) {
  if (!OpenDevicePath(node.path)) return true;  // listed all the same: the user should hear why it cannot be used
  const bool optical = IsOpticalDevice();
  CloseDrive();
  return optical;
}

std::vector<DeviceNode> LinuxDriveSource::Candidates() {
  std::vector<DeviceNode> nodes;
  std::set<fs::path> drivesListed;
  for (const fs::path& node : NumberedNodes("sr")) {
    nodes.push_back(NodeAt(node));
    if (fs::path device = SysfsDevice("block", node); !device.empty()) drivesListed.insert(device);
  }
  for (const fs::path& node : NumberedNodes("sg")) {
    if (drivesListed.contains(SysfsDevice("scsi_generic", node)) || !SysfsTypeIsOptical(node)) continue;
    const DeviceNode candidate = NodeAt(node);
    if (MayBeOptical(candidate)) nodes.push_back(candidate);
  }
  return nodes;
}

std::optional<DeviceNode> LinuxDriveSource::Resolve(const std::string& name) const {
  if (name.empty()) return std::nullopt;
  return NodeAt(name.find('/') == std::string::npos ? m_devices / name : fs::path(name));
}

// The name the kernel gives the device behind a node (sr0, sg1): sysfs
// knows it by the device number, whatever the node is called; a node sysfs
// does not know goes by the name its links lead to. Empty when it is missing.
std::string LinuxDriveSource::KernelName(const fs::path& node) const {
  std::error_code error;
  const fs::path target = fs::canonical(node, error);
  if (error) return {};
  struct stat status {};
  if (stat(target.c_str(), &status) == 0 && (S_ISBLK(status.st_mode) || S_ISCHR(status.st_mode))) {
    const std::string number = std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    const fs::path device =
        fs::canonical(m_sysfs / "dev" / (S_ISBLK(status.st_mode) ? "block" : "char") / number, error);
    if (!error) return device.filename().string();
  }
  return target.filename().string();
}

// The drive's one name: an sg node's sr twin (the block device on the same
// SCSI address) stands for both.
std::string LinuxDriveSource::DriveName(const fs::path& node) const {
  const std::string name = KernelName(node);
  if (NodeNumber(name, "sg") < 0) return name;
  std::error_code error;
  for (const fs::directory_entry& block :
       fs::directory_iterator(m_sysfs / "class" / "scsi_generic" / name / "device" / "block", error)) {
    return block.path().filename().string();
  }
  return name;
}

std::wstring LinuxDriveSource::DrivePath(const DeviceNode& node) const {
  const fs::path given = NarrowPath(node.path.c_str());
  const std::string name = DriveName(given);
  if (name.empty()) return node.path;  // nothing there: the open tells why
  std::error_code error;
  if (const fs::path named = m_devices / name; fs::exists(named, error)) return WidePath(named.string());
  return WidePath(fs::canonical(given, error).string());
}

std::string LinuxDriveSource::BlockDeviceNumber(const DeviceNode& node) const {
  const fs::path path = NarrowPath(DrivePath(node).c_str());
  const std::string name = DriveName(path);
  if (name.empty()) return {};
  if (std::string number = FirstLineOf(m_sysfs / "class" / "block" / name / "dev"); !number.empty()) return number;
  // A block device sysfs does not show (or no sysfs) still has its own number.
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) return {};
  return std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
}

std::optional<std::string> LinuxDriveSource::MountPoint(const DeviceNode& node) const {
  const std::string device = BlockDeviceNumber(node);
  if (device.empty()) return std::nullopt;
  return MountPointOf(TextOf("/proc/self/mountinfo"), device);
}

std::optional<std::string> LinuxDriveSource::WriteBufferRefusal() const {
  if (!HasEffectiveCapability(TextOf("/proc/self/status"), kCapSysRawio)) {
    return "this command writes the drive's vendor buffers with WRITE BUFFER, which Linux refuses to processes "
           "without CAP_SYS_RAWIO: run it as root (sudo) or see PERMISSIONS in norvane-drive(1)";
  }
  if (!IsInitialUserNamespace(TextOf("/proc/self/uid_map"))) {
    return "this command writes the drive's vendor buffers with WRITE BUFFER, which Linux refuses inside a user "
           "namespace (a rootless container) whatever capabilities it grants: run it as root on the host or see "
           "PERMISSIONS in norvane-drive(1)";
  }
  return std::nullopt;
}

bool IsInitialUserNamespace(const std::string& uidMap) {
  std::istringstream lines(uidMap);
  std::uint64_t inside = 1, outside = 1, count = 0;
  lines >> inside >> outside >> count;
  std::string more;
  return lines && inside == 0 && outside == 0 && count == 4294967295u && !(lines >> more);
}

std::optional<std::string> MountPointOf(const std::string& mountInfo, const std::string& device) {
  std::istringstream lines(mountInfo);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string id, parent, number, root, mountPoint;
    if (fields >> id >> parent >> number >> root >> mountPoint && number == device) return Unescaped(mountPoint);
  }
  return std::nullopt;
}

bool HasEffectiveCapability(const std::string& procStatus, int capability) {
  std::istringstream lines(procStatus);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("CapEff:")) continue;
    try {
      return (std::stoull(line.substr(7), nullptr, 16) >> capability) & 1;
    } catch (const std::exception&) {
      return false;
    }
  }
  return false;
}

}  // namespace norvane::tool
