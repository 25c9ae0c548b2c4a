#include "kernel_path_wine.h"

#include <cctype>
#include <chrono>
#include <fstream>
#include <iterator>

#include "child_process.h"

namespace norvane::kernel {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

Wine::Wine(const std::string& architecture, const fs::path& prefix, const Drives& drives)
    : m_loader(architecture == "x64" ? "/usr/lib/wine/wine64" : "/usr/lib/wine/wine"),
      m_prefix(prefix),
      m_environment(drives.Environment()) {
  m_environment["WINEPREFIX"] = m_prefix.string();
  m_environment["WINEDEBUG"] = "-all";
  m_environment["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
  StopServer();
  if (!fs::exists(m_prefix / "system.reg")) Create();
  if (!HasDriveTypes()) SetDriveTypes();
  MapDrives(drives);
}

Wine::~Wine() { StopServer(); }

fs::path Wine::Log() const {
  return m_prefix.parent_path() / ("kernel_path_wine_" + fs::path(m_loader).filename().string() + ".log");
}

int Wine::Run(const std::vector<std::string>& command, std::map<std::string, std::string> environment) const {
  ChildProcess child(command, environment, Log().string());
  child.CloseInput();
  child.ReadAll(120s);
  return child.Wait(120s);
}

void Wine::StopServer() const { Run({"/usr/lib/wine/wineserver64", "-k"}, {{"WINEPREFIX", m_prefix.string()}}); }

std::map<std::string, std::string> Wine::Plain() const {
  return {{"WINEPREFIX", m_prefix.string()}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
}

void Wine::Create() const {
  Run({m_loader, "wineboot", "-i"}, Plain());
  // Wine waits up to 2 s for a window manager to withdraw each managed
  // window it hides (every message box); a bare Xvfb has none.
  Run({m_loader, "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\NorvaneDriveUtility.exe\\X11 Driver", "/v",
       "Managed", "/d", "N", "/f"},
      Plain());
  Run({"/usr/lib/wine/wineserver64", "-w"}, Plain());
}

namespace {

// The kind of drive Wine reports for each letter (GetDriveType) is the
// registry's, in its 64-bit view, which Wine's mount manager reads (the x86
// loader's reg would write the 32-bit one). A prefix made before the
// removable drive came lacks it.
const std::map<std::string, std::string> kDriveTypes = {{"e:", "cdrom"}, {"g:", "cdrom"}, {"f:", "floppy"}};

}  // namespace

bool Wine::HasDriveTypes() const {
  std::ifstream registry(m_prefix / "system.reg");
  const std::string text((std::istreambuf_iterator<char>(registry)), std::istreambuf_iterator<char>());
  const std::size_t key = text.find("\n[Software\\\\Wine\\\\Drives]");
  if (key == std::string::npos) return false;
  const std::string values = text.substr(key, text.find("\n[", key + 1) - key);
  for (const auto& [letter, type] : kDriveTypes) {
    if (values.find("\"" + letter + "\"=\"" + type + "\"") == std::string::npos) return false;
  }
  return true;
}

void Wine::SetDriveTypes() const {
  for (const auto& [letter, type] : kDriveTypes) {
    Run({m_loader, "reg", "add", "HKLM\\Software\\Wine\\Drives", "/v", letter, "/d", type, "/f", "/reg:64"}, Plain());
  }
  Run({"/usr/lib/wine/wineserver64", "-w"}, Plain());
}

// E: and G: are the drives and F: the removable drive (a mount folder and
// the device); C: and Z: get a device that is no drive, so that the
// program's scan of every letter never reaches the machine's own disks.
void Wine::MapDrives(const Drives& drives) const {
  const fs::path dosdevices = m_prefix / "dosdevices";
  const fs::path mounts =
      drives.devices.Folder().parent_path() / (drives.devices.Folder().filename().string() + "-mnt");
  const auto link = [&](const std::string& name, const fs::path& target) {
    std::error_code ignored;
    fs::remove(dosdevices / name, ignored);
    fs::create_symlink(target, dosdevices / name);
  };
  std::map<std::string, char> letters = kNodes;
  letters[kRemovableNode] = kRemovableLetter;
  for (const auto& [node, letter] : letters) {
    const std::string drive(1, static_cast<char>(std::tolower(letter)));
    fs::create_directories(mounts / drive);
    link(drive + ":", mounts / drive);
    link(drive + "::", drives.devices.NodePath(node));
  }
  link("c::", "/dev/null");
  link("z::", "/dev/null");
}

}  // namespace norvane::kernel
