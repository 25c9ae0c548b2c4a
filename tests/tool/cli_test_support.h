// Runs norvane-drive in-process on emulated drives that the test sets up,
// with a scripted terminal and a clock that moves only when the tool waits.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "drive/channel.h"
#include "emulator/emulated_devices.h"
#include "tests/common/command_blocks.h"
#include "tests/common/sent_blocks.h"
#include "tool/cli.h"
#include "tool/emulated_drive_source.h"
#include "tool/exit_codes.h"

namespace norvane::test {

using Bytes = std::vector<std::uint8_t>;
using tool::Exit;

// The emulated drives, with an operating system in front of them that can
// be told to refuse commands, as Linux refuses WRITE BUFFER to a process
// without CAP_SYS_RAWIO.
class ScriptedSource final : public tool::DriveSource, private DeviceIo {
 public:
  static inline const SystemError kNotPermitted = {EPERM, "refused by the operating system: Operation not permitted"};

  explicit ScriptedSource(emu::EmulatedDevices& devices) : m_devices(devices), m_emulated(devices) {}

  // Commands whose operation code is this are refused before they reach the drive, for `refusal`.
  std::optional<std::uint8_t> refusedOperation;
  SystemError refusal = kNotPermitted;
  // Where the system has the disc of every drive mounted.
  std::optional<std::string> mountedAt;
  // Why the system would refuse WRITE BUFFER, as in a user namespace.
  std::optional<std::string> writeBufferRefusal;
  // The time-out the last command went out with.
  std::uint32_t lastTimeoutSeconds = 0;
  // Runs before each command goes out, with its operation code.
  std::function<void(std::uint8_t operation)> beforeCommand;
  // Runs before each handle is closed.
  std::function<void(DeviceHandle handle)> beforeClose;
  // The drive each node is, where names differ from drives (as an sg node is its sr twin).
  std::function<std::wstring(const tool::DeviceNode& node)> drivePath;
  // Opening the drive at a letter fails as the system says (EBUSY: another
  // program holds it), with the system's words.
  std::map<char, SystemError> refusedOpens;

  DeviceIo& Io() override { return *this; }
  std::vector<tool::DeviceNode> Candidates() override { return m_emulated.Candidates(); }
  std::optional<tool::DeviceNode> Resolve(const std::string& name) const override { return m_emulated.Resolve(name); }
  std::wstring DrivePath(const tool::DeviceNode& node) const override {
    return drivePath ? drivePath(node) : m_emulated.DrivePath(node);
  }
  SystemError LastError() const override {
    if (m_openRefusal) return *m_openRefusal;
    return m_refused ? refusal : m_emulated.LastError();
  }
  std::optional<std::string> MountPoint(const tool::DeviceNode&) const override { return mountedAt; }
  std::optional<std::string> WriteBufferRefusal() const override { return writeBufferRefusal; }
  void DiscOffered(const tool::DeviceNode& node) override { m_emulated.DiscOffered(node); }

 private:
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override {
    m_refused = false;
    m_openRefusal.reset();
    for (const auto& [letter, error] : refusedOpens) {
      if (path == DevicePath(letter)) m_openRefusal = error;
    }
    return m_openRefusal ? kNoDevice : m_devices.Open(path, access);
  }
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override {
    if (beforeCommand) beforeCommand(command.cdb[0]);
    lastTimeoutSeconds = command.timeoutSeconds;
    m_refused = refusedOperation == command.cdb[0];
    return !m_refused && m_devices.PassThrough(device, command, reply);
  }
  bool PreventMediaChangeNotification(DeviceHandle handle) override {
    return m_devices.PreventMediaChangeNotification(handle);
  }
  void Close(DeviceHandle handle) override {
    if (beforeClose) beforeClose(handle);
    m_devices.Close(handle);
  }
  void Sleep(std::uint32_t milliseconds) override { m_devices.Sleep(milliseconds); }
  bool IsOpticalDrive(char letter) override { return m_devices.IsOpticalDrive(letter); }

  emu::EmulatedDevices& m_devices;
  tool::EmulatedDriveSource m_emulated;
  bool m_refused = false;
  std::optional<SystemError> m_openRefusal;
};

// A signal that ended the run at once, with its exit status and the
// interrupt note it left on standard error.
struct EndedBySignal {
  int status;
  std::string note;
};

// Every tick the tool waits moves the emulated clock on by the tick, at once,
// and then runs the test's script for that tick; the run counts as
// interrupted (Ctrl-C) once `ticksBeforeInterrupt` have passed.
class TestPlatform final : public tool::Platform {
 public:
  // A signal that ends a run (its exit status), as a test's hook sends it:
  // during a change it waits for the change's end; elsewhere it ends the run
  // at once, where it is.
  void Signal(int status) {
    if (!m_holding) throw EndedBySignal{status, m_note};
    if (m_held == 0) m_held = status;
  }
  void SetInterruptNote(const std::string& line) override { m_note = line; }
  void HoldInterrupts() override { m_holding = true; }
  int ReleaseInterrupts() override {
    m_holding = false;
    return std::exchange(m_held, 0);
  }

  explicit TestPlatform(emu::EmulatedDevices& devices) : m_devices(devices), source(devices) {}
  tool::DriveSource& Drives(bool) override { return source; }
  bool Wait(std::chrono::milliseconds period) override {
    if (ticks >= ticksBeforeInterrupt) return false;
    ++ticks;
    m_devices.Clock().Advance(static_cast<std::uint64_t>(period.count()));
    if (onTick) onTick(ticks);
    return true;
  }
  DrivesWait WaitForDrives(std::chrono::milliseconds period) override {
    if (!Wait(period)) return DrivesWait::Interrupted;
    return std::exchange(deviceEvent, false) ? DrivesWait::DevicesChanged : DrivesWait::Ticked;
  }
  bool OutputGone() const override { return outputGone; }
  // The time of day moves with the emulated clock.
  std::int64_t WallTimeMs() const override {
    return wallTimeAtStartMs + static_cast<std::int64_t>(m_devices.Clock().NowMs());
  }

  std::int64_t wallTimeAtStartMs = 1796000000000;  // 30 November 2026, 00:53:20 UTC
  int ticks = 0;
  int ticksBeforeInterrupt = 1000;
  std::function<void(int tick)> onTick;
  bool deviceEvent = false;  // the system says, during this tick, that a device came or went
  bool outputGone = false;   // standard output is a pipe whose reader has gone

 private:
  emu::EmulatedDevices& m_devices;
  bool m_holding = false;
  int m_held = 0;
  std::string m_note;

 public:
  ScriptedSource source;
};

// Standard output on a full disc: every write fails.
class FullOutput final : public std::streambuf {
 protected:
  int overflow(int) override {
    errno = ENOSPC;
    return traits_type::eof();
  }
};

struct RunResult {
  Exit exit;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { Channel() = DriveChannel{}; }
  void TearDown() override { Channel() = DriveChannel{}; }

  // The demo's kind of drives: a quiet-drive model with real-time support at
  // E, a general one without it at G, another vendor's at D.
  void AttachDrives() {
    devices.Attach('D', emu::ForeignDriveModel());
    devices.Attach('E', emu::QuietDriveModel());
    devices.Attach('G', emu::GeneralDriveModel());
  }
  emu::EmulatedDrive& Drive(char letter = 'E') { return *devices.Drive(letter); }

  // Runs a command line; `input` is what the person types, on a terminal
  // when `terminal` is set.
  RunResult Run(const std::vector<std::string>& arguments, const std::string& input = "", bool terminal = false) {
    std::istringstream in(input);
    std::ostringstream out, err;
    FullOutput fullDisc;
    std::ostream full(&fullDisc);
    tool::Console console{in, outputFull ? full : out, err};
    console.inIsTerminal = console.errIsTerminal = terminal;
    if (onConsole) onConsole(console);
    int code = 0;
    try {
      code = tool::RunNorvaneDrive(arguments, console, platform);
    } catch (const EndedBySignal& ended) {
      code = ended.status;
      err << ended.note;
    }
    return {static_cast<Exit>(code), out.str(), err.str()};
  }

  bool outputFull = false;                        // standard output takes nothing
  std::function<void(tool::Console&)> onConsole;  // the terminal as a case needs it

  std::vector<Cdb> Sent(char letter = 'E') { return SentBlocks(Drive(letter)); }

  emu::EmulatedDevices devices;
  TestPlatform platform{devices};
};

// INQUIRY data of a Norvane drive whose product field holds `product` (the
// drive's own bytes).
inline Bytes Inquiry(const std::string& product) {
  Bytes inquiry(96, 0);
  inquiry[0] = 0x05;
  inquiry[1] = 0x80;
  inquiry[4] = 91;
  const std::string text = "NORVANE " + product;
  std::copy(text.begin(), text.end(), inquiry.begin() + 8);
  return inquiry;
}

// A C1 control (an escape to a terminal) as a drive's bytes bring it to the
// tool: as UTF-8 on Linux; on Windows as the byte that the Western code page
// maps to one (OSC).
#ifdef _WIN32
inline constexpr const char* kC1ControlBytes = "\x9D";
#else
inline constexpr const char* kC1ControlBytes = "\xC2\x9B";
#endif

// Picking a drive reads its identity, then its INQUIRY text for the label.
inline const std::vector<Cdb> kSelect = {kReadIdentity, kInquiry};

// A command line as a person types it, to name a case by.
inline std::string CommandLine(const std::vector<std::string>& arguments) {
  std::string line = "norvane-drive";
  for (const std::string& argument : arguments) line += " " + argument;
  return line;
}

inline std::vector<Cdb> Concat(std::initializer_list<std::vector<Cdb>> parts) {
  std::vector<Cdb> all;
  for (const std::vector<Cdb>& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace norvane::test
