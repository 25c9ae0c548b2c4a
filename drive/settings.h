// The drive's settings as every front end shows and changes them: what the
// drive reports, and the rules by which a chosen set is confirmed and sent.
//
// A front end always sends the whole set. The one dependency between the
// features is that real-time read-error handling runs on the quiet-drive
// feature's speed control, so switching one without the other is confirmed
// first, and the confirmation decides what then goes out.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "drive/reads.h"

namespace norvane {

// What the drive reports of its settings.
struct ReportedSettings {
  QuietModeCode quiet = QuietOff;
  ReadModeCode readMode = ReadModeOff;
  bool realTimeSupported = false;
  // Read only while read-error handling is on: without it the option means nothing.
  std::optional<bool> realTime;
  bool ejectAtPowerOn = false;
  // How the reads went: everything off where one failed or came back short.
  CommandResult read;
};

// Reads the DriveStatusBuffer as the Settings page does: the quiet mode, then
// the read-error handling, the real-time support, the real-time option (only
// while read-error handling is on) and eject at power-on, each read afresh.
ReportedSettings ReadReportedSettings();
ReadModeCode ReadModeOfStatus(const std::uint8_t (&status)[kDriveStatusLength]);

// The whole set a front end asks the drive to take, and which switches
// changed since the front end last read the drive.
struct SettingsChoice {
  QuietModeCode quiet = QuietStandard;  // QuietOff: the quiet-drive feature off
  ReadModeCode readMode = ReadModeOff;
  bool realTime = false;
  bool ejectAtPowerOn = false;
  bool save = false;
  bool quietSwitched = false;     // the quiet-drive feature was just switched on or off
  bool realTimeSwitched = false;  // the real-time option was just switched on or off
};

enum class SettingsConfirmation {
  // Real-time switched on while the quiet-drive feature is off: the feature is set to Quiet Mode.
  EnableQuietDrive,
  // The quiet-drive feature switched off under real-time: real-time goes off with it.
  DisableRealTime,
};

// The commands a choice turns into once its confirmations are given.
struct SettingsCommands {
  QuietModeCode selection = QuietStandard;  // for SendQuietSelection
  QuietModeCode setting = QuietStandard;    // for SendQuietSetting: the mode the drive reports back
  ReadModeCode readMode = ReadModeOff;
  bool realTime = false;
  bool ejectAtPowerOn = false;
  bool save = false;
};

// The confirmations a choice needs, in the order they are asked.
std::vector<SettingsConfirmation> ConfirmationsFor(const SettingsChoice& choice);
SettingsCommands CommandsFor(const SettingsChoice& choice);
// How far the sending of a set went: the result of its last command, and
// how many of its steps (below) the drive took before it.
struct SettingsSent {
  CommandResult result;
  int stepsTaken = 0;
};
inline constexpr int kSettingsSteps = 4;

// The quiet selection, the quiet setting, the read-error page and the eject
// pages, in this order; nothing goes out after the first command that is
// refused or not delivered, and the result is that command's.
SettingsSent SendSettings(const SettingsCommands& commands);

// Asks each confirmation the choice needs through `confirm` (true: given) and
// sends the settings once all are given; answers how the sending went.
// Answers nothing, having sent nothing, at the first one declined.
std::optional<CommandResult> ApplySettings(const SettingsChoice& choice,
                                           const std::function<bool(SettingsConfirmation)>& confirm);

}  // namespace norvane
