// The shipped NorvaneDriveUtility.exe, unmodified, under Wine: its drive
// letters are the emulated device nodes, so every command goes through
// Wine's IOCTL_SCSI_PASS_THROUGH_DIRECT down to SG_IO. A driver program
// does the window actions of the shared table; the runner here sets the
// drive up before each and compares what reached SG_IO.
//
// Run from the Windows builds' CTest (kernel_path_x86, kernel_path_x64),
// which name the program, the driver and the word size.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "kernel_path_support.h"

namespace norvane::kernel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Required(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsCounterRead(const KernelRecord& record) {
  return record.cdb.size() >= 3 && record.cdb[0] == 0x3C && record.cdb[2] == 0xF5;
}

// A Wine prefix of the kernel path's own, next to the driver: its server
// must carry the preloaded library, so it cannot be shared with tests that
// run at the same time. Made once; its drive letters are set for each run.
class Wine {
 public:
  Wine(const std::string& architecture, const Drives& drives)
      : m_loader(architecture == "x64" ? "/usr/lib/wine/wine64" : "wine"),
        m_prefix(fs::path(Required("NORVANE_DRIVER")).parent_path() / "wineprefix"),
        m_environment(drives.Environment()) {
    m_environment["WINEPREFIX"] = m_prefix.string();
    m_environment["WINEDEBUG"] = "-all";
    m_environment["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    StopServer();
    if (!fs::exists(m_prefix / "system.reg")) Create();
    MapDrives(drives);
  }
  ~Wine() { StopServer(); }

  const std::string& Loader() const { return m_loader; }
  const std::map<std::string, std::string>& Environment() const { return m_environment; }
  fs::path Log() const { return m_prefix.parent_path() / ("kernel_path_wine_" + fs::path(m_loader).filename().string() + ".log"); }

 private:
  int Run(const std::vector<std::string>& command, std::map<std::string, std::string> environment) const {
    ChildProcess child(command, environment, Log().string());
    child.CloseInput();
    child.ReadAll(120s);
    return child.Wait(120s);
  }

  void StopServer() const { Run({"/usr/lib/wine/wineserver64", "-k"}, {{"WINEPREFIX", m_prefix.string()}}); }

  void Create() const {
    std::map<std::string, std::string> plain = {{"WINEPREFIX", m_prefix.string()}, {"WINEDEBUG", "-all"},
                                                {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
    Run({m_loader, "wineboot", "-i"}, plain);
    for (const char* letter : {"e:", "g:"}) {
      Run({m_loader, "reg", "add", "HKLM\\Software\\Wine\\Drives", "/v", letter, "/d", "cdrom", "/f"}, plain);
    }
    // Wine waits up to 2 s for a window manager to withdraw each managed
    // window it hides (every message box); a bare Xvfb has none.
    Run({m_loader, "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\NorvaneDriveUtility.exe\\X11 Driver", "/v",
         "Managed", "/d", "N", "/f"},
        plain);
    Run({"/usr/lib/wine/wineserver64", "-w"}, plain);
  }

  // E: and G: are the drives (a mount folder and the device); C: and Z:
  // get a device that is no drive, so that the program's scan of every
  // letter never reaches the machine's own disks.
  void MapDrives(const Drives& drives) const {
    const fs::path dosdevices = m_prefix / "dosdevices";
    const fs::path mounts = drives.devices.Folder().parent_path() / (drives.devices.Folder().filename().string() + "-mnt");
    const auto link = [&](const std::string& name, const fs::path& target) {
      std::error_code ignored;
      fs::remove(dosdevices / name, ignored);
      fs::create_symlink(target, dosdevices / name);
    };
    for (const auto& [node, letter] : kNodes) {
      const std::string drive(1, static_cast<char>(std::tolower(letter)));
      fs::create_directories(mounts / drive);
      link(drive + ":", mounts / drive);
      link(drive + "::", drives.devices.NodePath(node));
    }
    link("c::", "/dev/null");
    link("z::", "/dev/null");
  }

  std::string m_loader;
  fs::path m_prefix;
  std::map<std::string, std::string> m_environment;
};

// The runner's side of the conversation with the driver: answers its
// questions until it reports.
class Driver {
 public:
  Driver(const Wine& wine, Drives& drives)
      : m_drives(drives),
        m_process({wine.Loader(), Required("NORVANE_DRIVER"), Required("NORVANE_PROGRAM")}, wine.Environment(),
                  wine.Log().string()) {}

  std::string Tell(const std::string& command) {
    m_process.WriteLine(command);
    for (;;) {
      const std::optional<std::string> line = m_process.ReadLine(90s);
      if (!line) return "(no answer)";
      if (line->starts_with("advance ")) {
        const std::uint64_t ms = std::stoull(line->substr(8));
        m_drives.devices.WithDrives([ms](emu::EmulatedDevices& drives) { drives.Clock().Advance(ms); });
      } else if (*line == "await-tick") {
        m_drives.devices.WaitForLog(
            [](const std::vector<KernelRecord>& log) { return std::any_of(log.begin(), log.end(), IsCounterRead); },
            5s);
      } else {
        return *line;
      }
      m_process.WriteLine("ok");
    }
  }
  int Wait() { return m_process.Wait(30s); }

 private:
  Drives& m_drives;
  ChildProcess m_process;
};

TEST(WindowKernelPath, EveryActionSendsItsSequence) {
  const std::string architecture = Required("NORVANE_WORD_SIZE");
  ASSERT_FALSE(Required("NORVANE_PROGRAM").empty() || Required("NORVANE_DRIVER").empty() || architecture.empty())
      << "run from the Windows builds' CTest";
  ASSERT_FALSE(Required("DISPLAY").empty()) << "Wine needs an X display";
  const int wordSize = architecture == "x64" ? 64 : 32;
  Drives drives("win-" + architecture);
  Wine wine(architecture, drives);
  Driver driver(wine, drives);
  const std::vector<test::WindowAction>& actions = test::WindowActions();
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const test::WindowAction& action = actions[i];
    drives.SetUp(action.setup);
    if (i == 0) {
      ASSERT_TRUE(driver.Tell("start").starts_with("done")) << "the program did not start; see " << wine.Log();
    } else {
      ASSERT_EQ(driver.Tell("prepare " + std::to_string(i)), "ready") << action.name;
      drives.devices.ClearLog();
      const std::string reply = driver.Tell("run " + std::to_string(i));
      ASSERT_TRUE(reply.starts_with("done")) << action.name << ": " << reply;
      if (action.answer != test::kAnswerOk || action.expected.empty()) {
        EXPECT_NE(reply, "done 0") << action.name << ": no confirmation was asked";
      }
    }
    ExpectLog(drives.devices.Log(), action.expected, wordSize, action.name);
  }
  EXPECT_EQ(driver.Tell("quit"), "exit 0");
  EXPECT_EQ(driver.Wait(), 0);
}

}  // namespace
}  // namespace norvane::kernel
