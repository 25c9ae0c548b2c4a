// One run of norvane-drive: its options, its terminal, the drive it works
// on, and what it tells of commands that did not go through.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

#include "drive/drive_lock.h"
#include "tool/command_trace.h"
#include "tool/console.h"
#include "tool/exit_codes.h"
#include "tool/platform.h"

namespace norvane::tool {

struct GlobalOptions {
  std::string device;  // empty: the first supported drive
  bool emulate = false;
  bool json = false;
  std::string color = "auto";
  int verbosity = 0;  // 1: every command and its answer on standard error; 2: and the data bytes
  double timeoutSeconds = kPassThroughTimeoutSeconds;  // for each command
};

struct SelectedDrive {
  DeviceNode node;
  std::string label;                      // as the drive list of the window shows it
  std::string vendor, product, revision;  // the INQUIRY fields the label is made of
};

// A drive present that could not be read, and what that tells the shell.
struct UnusableDrive {
  std::string name;    // printable, cut short
  std::string reason;  // printable
  Exit code;
};

// What a look at one node found: a supported drive, a drive present that
// could not be read, or neither (no drive there, or none of ours).
struct NodeLook {
  std::optional<SelectedDrive> drive;
  std::optional<UnusableDrive> unusable;
  bool foreign = false;  // a drive answered there that is none of ours
};

// What a subcommand does to the drive it picks: a reading may take the first
// supported drive, a change must be sure of the drive it lands on.
enum class Picks { Reading, Changing };

using Json = nlohmann::ordered_json;

class Session {
 public:
  // Sends the run's commands to the chosen drives, through the trace.
  Session(Console& console, Platform& platform, const GlobalOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Console& Terminal() { return m_console; }
  Platform& World() { return m_platform; }
  const GlobalOptions& Options() const { return m_options; }
  DriveSource& Source() { return m_source; }
  const Palette& Colours() const { return m_palette; }

  // The supported drives, in the order of the candidates; stops the run
  // (no drive, or no permission) when there is none. `firstOnly` ends the
  // search at the first one.
  std::vector<SelectedDrive> SupportedDrives(bool firstOnly);
  // The same search without stopping or warning: the supported drives, and
  // those present that could not be opened or identified go to Unusable().
  std::vector<SelectedDrive> FindDrives(bool firstOnly);
  const std::vector<UnusableDrive>& Unusable() const { return m_unusable; }
  // Opens and identifies the drive at one node. `inquiryFirst`: the vendor's
  // own reads go only to a drive whose INQUIRY names the maker.
  NodeLook LookAt(const DeviceNode& node, bool inquiryFirst);
  bool OfAnotherMaker(const DeviceNode& node, const CommandResult& identityRead) const;
  // Picks the drive of --device, or else the first supported one for a
  // reading and the only one for a change, and leaves it open in the channel.
  const SelectedDrive& SelectDrive(Picks picks = Picks::Reading);
  // Takes the selected drive for a change, for as long as the lock lives;
  // stops the run (drive busy) when another program has it.
  DriveLock LockDrive() const;
  // Stops the run before anything is sent when WRITE BUFFER would be refused.
  void RequireWriteBuffer(const std::string& doing) const;

  // Asks a confirmation about the selected drive: --yes gives it; otherwise
  // only a person at a terminal can. Stops the run (not confirmed) when it is
  // not given.
  void Confirm(const std::string& question, bool yes);
  // Why a command or a sequence did not complete, in words, or empty text
  // when it did. Asked at once: the system's side of it is the last error.
  std::string Failure(const CommandResult& result) const;
  // The exit code for a command that did not complete: the system's refusal
  // decides it when the command never reached the drive. Asked at once, too.
  Exit FailureCode(const CommandResult& result) const;
  // Stops the run (command failed) when `result` did not complete: a
  // command failed, or a read came back short.
  void Require(const CommandResult& result, const std::string& doing) const;
  [[noreturn]] void StopAtFailure(const std::string& failure, const std::string& doing,
                                  Exit code = Exit::CommandFailed) const;

  // The run's JSON result on standard output: indented, or as one line in
  // a watch's stream.
  void PrintJson(const Json& json, bool line = false);
  // With --json, a run that stopped answers an object with an `error` field
  // (naming its drive once one was picked), unless its result already said so.
  void PrintJsonFailure(const Stop& stop, bool line);
  // Stops the run (command failed) once standard output takes no more, as a
  // full disc or a closed pipe leaves it; a closed pipe is noticed even when
  // nothing was written.
  void RequireWritten() const;
  // The drive's fields every JSON result starts with.
  Json DriveJson() const;
  // A message on standard error that does not stop the run.
  void Warn(const std::string& message) const;

 private:
  SelectedDrive NamedDrive();
  // The drive list's label of an opened node, or none (with `read` saying why)
  // when the drive did not answer its INQUIRY.
  std::optional<SelectedDrive> Labelled(const DeviceNode& node, CommandResult& read) const;
  SelectedDrive OnlyDrive();
  // Why a node could not be opened, without its name and naming it.
  std::string OpenReason(const DeviceNode& node) const;
  std::string OpenFailure(const DeviceNode& node) const;
  [[noreturn]] void StopAtOpenFailure(const DeviceNode& node) const;

  Console& m_console;
  Platform& m_platform;
  const GlobalOptions& m_options;
  DriveSource& m_source;
  CommandTrace m_trace;
  Palette m_palette;
  DeviceIo& m_previousIo;
  SelectedDrive m_selected;
  std::vector<UnusableDrive> m_unusable;  // present drives the last search could not read
  bool m_jsonAnswered = false;            // the run's JSON result is out
};

// A change under way: the signals that end a run wait (Platform::
// HoldInterrupts) until End(), or until a Stop takes it out of scope.
class ChangeUnderWay {
 public:
  explicit ChangeUnderWay(Platform& platform) : m_platform(platform) { m_platform.HoldInterrupts(); }
  ~ChangeUnderWay() {
    if (m_holding) m_platform.ReleaseInterrupts();
  }
  ChangeUnderWay(const ChangeUnderWay&) = delete;
  ChangeUnderWay& operator=(const ChangeUnderWay&) = delete;

  // Ends the hold once what the drive took is reported, and ends the run
  // with `outcome` unless it is Ok, or with the status of a signal that came
  // meanwhile.
  void End(Stop outcome);

 private:
  Platform& m_platform;
  bool m_holding = true;
};

}  // namespace norvane::tool
