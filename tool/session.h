// One run of norvane-drive: its options, its terminal, the drive it works
// on, and the journal of what the drive was sent.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "tool/command_journal.h"
#include "tool/console.h"
#include "tool/exit_codes.h"
#include "tool/platform.h"

namespace norvane::tool {

struct GlobalOptions {
  std::string device;  // empty: the first supported drive
  bool emulate = false;
  bool json = false;
  std::string color = "auto";
};

struct SelectedDrive {
  DeviceNode node;
  std::string label;  // as the drive list of the window shows it
};

using Json = nlohmann::ordered_json;

class Session {
 public:
  // Puts the journal in front of the chosen drives for the whole run.
  Session(Console& console, Platform& platform, const GlobalOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Console& Terminal() { return m_console; }
  Platform& World() { return m_platform; }
  const GlobalOptions& Options() const { return m_options; }
  DriveSource& Source() { return m_source; }
  CommandJournal& Journal() { return m_journal; }
  const Palette& Colours() const { return m_palette; }

  // The supported drives, in the order of the candidates; stops the run
  // (no drive, or no permission) when there is none. `firstOnly` ends the
  // search at the first one.
  std::vector<SelectedDrive> SupportedDrives(bool firstOnly);
  // Picks the drive of --device, or the first supported one, and leaves it
  // open in the channel.
  const SelectedDrive& SelectDrive();
  // Stops the run before anything is sent when WRITE BUFFER would be refused.
  void RequireWriteBuffer(const std::string& doing) const;

  // Asks a confirmation: --yes gives it; otherwise only a person at a
  // terminal can. Stops the run (not confirmed) when it is not given.
  void Confirm(const std::string& question, bool yes);
  // Stops the run (command failed) when a command since `mark` failed.
  void RequireNoFailures(std::size_t mark, const std::string& doing) const;

  // Results on standard output: JSON with --json, else the text.
  void PrintJson(const Json& json) const;
  // The drive's fields every JSON result starts with.
  Json DriveJson() const;

 private:
  [[noreturn]] void StopAtOpenFailure(const DeviceNode& node) const;

  Console& m_console;
  Platform& m_platform;
  const GlobalOptions& m_options;
  DriveSource& m_source;
  CommandJournal m_journal;
  Palette m_palette;
  DeviceIo& m_previousIo;
  SelectedDrive m_selected;
};

}  // namespace norvane::tool
