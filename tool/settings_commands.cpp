// settings and set: the Setting tab of the window on the command line.
#include <ostream>

#include "drive/settings.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

std::string RealTimeText(const ReportedSettings& reported) {
  if (!reported.realTimeSupported) return "not supported";
  if (!reported.realTime) return "- (needs read-error handling)";
  return OnOff(*reported.realTime);
}

void PrintSettings(Session& session, const SelectedDrive& drive, const ReportedSettings& reported) {
  if (session.Options().json) {
    Json json = session.DriveJson();
    json["quiet"] = QuietModeName(reported.quiet);
    json["readErrorHandling"] = ReadModeName(reported.readMode);
    json["realTimeSupported"] = reported.realTimeSupported;
    json["realTime"] = reported.realTime ? Json(*reported.realTime) : Json(nullptr);
    json["ejectAtPowerOn"] = reported.ejectAtPowerOn;
    session.PrintJson(json);
    return;
  }
  PrintFields(session.Terminal().out, {{"Drive", drive.label},
                                       {"Quiet drive", QuietModeName(reported.quiet)},
                                       {"Read-error handling", ReadModeName(reported.readMode)},
                                       {"Real-time", RealTimeText(reported)},
                                       {"Eject at power-on", OnOff(reported.ejectAtPowerOn)}});
}

ReportedSettings ReadSettings(Session& session) {
  const ReportedSettings reported = ReadReportedSettings();
  session.Require(reported.read, "reading the settings");
  return reported;
}

bool AnySetting(const SetOptions& options) {
  return !options.quiet.empty() || !options.readError.empty() || !options.realTime.empty() ||
         !options.ejectAtPowerOn.empty() || options.save;
}

// Requests the window cannot make, refused before anything is read or sent.
void RequireConsistent(const SetOptions& options) {
  if (!AnySetting(options)) {
    throw Stop{Exit::Usage, "set: name a setting to change, or --save to keep the present ones in the drive"};
  }
  if (options.realTime == "on" && options.quiet == "off") {
    throw Stop{Exit::Usage, "set: --real-time on needs the quiet-drive feature, which --quiet off switches off"};
  }
  if (options.realTime == "on" && options.readError == "off") {
    throw Stop{Exit::Usage, "set: --real-time on needs read-error handling, which --read-error off switches off"};
  }
}

// The window's controls as the last reading of the drive left them, with
// the user's changes on top: the whole set, as a click sends it.
SettingsChoice ChoiceFor(const ReportedSettings& reported, const SetOptions& options) {
  // The window's real-time box starts off, and keeps its state while read-error handling is off.
  const bool realTimeShown = reported.realTime.value_or(false);
  SettingsChoice choice;
  choice.quiet = reported.quiet;
  choice.readMode = reported.readMode;
  choice.realTime = realTimeShown;
  choice.ejectAtPowerOn = reported.ejectAtPowerOn;
  choice.save = options.save;
  QuietModeNamed(options.quiet, choice.quiet);
  ReadModeNamed(options.readError, choice.readMode);
  if (!options.realTime.empty()) choice.realTime = options.realTime == "on";
  if (!options.ejectAtPowerOn.empty()) choice.ejectAtPowerOn = options.ejectAtPowerOn == "on";
  choice.quietSwitched = (choice.quiet == QuietOff) != (reported.quiet == QuietOff);
  choice.realTimeSwitched = choice.realTime != realTimeShown;
  return choice;
}

// What the user asks for that the drive cannot do, refused before anything is sent.
void RequireFeatures(const ReportedSettings& reported, const SettingsChoice& choice, const SetOptions& options) {
  if (options.realTime == "on" && !reported.realTimeSupported) {
    throw Stop{Exit::NotSupported, "this drive does not support real-time read-error handling"};
  }
  if (options.realTime == "on" && choice.readMode == ReadModeOff) {
    throw Stop{Exit::Usage, "set: --real-time on needs read-error handling on: add --read-error perfect or master"};
  }
}

std::string QuestionFor(SettingsConfirmation confirmation) {
  if (confirmation == SettingsConfirmation::EnableQuietDrive) {
    return "Real-time read-error handling needs the quiet-drive feature, which is off. Switch it on in Quiet Mode?";
  }
  return "Switching the quiet-drive feature off switches real-time read-error handling off too. Go on?";
}

// The settings the drive reports that differ from what was sent.
std::string NotTaken(const ReportedSettings& reported, const SettingsCommands& sent) {
  std::string differences;
  auto note = [&differences](bool differs, const std::string& what) {
    if (differs) differences += (differences.empty() ? "" : ", ") + what;
  };
  note(reported.quiet != sent.setting, std::string("quiet drive ") + QuietModeName(sent.setting));
  note(reported.readMode != sent.readMode, std::string("read-error handling ") + ReadModeName(sent.readMode));
  note(reported.realTime && *reported.realTime != sent.realTime, std::string("real-time ") + OnOff(sent.realTime));
  note(reported.ejectAtPowerOn != sent.ejectAtPowerOn, std::string("eject at power-on ") + OnOff(sent.ejectAtPowerOn));
  return differences;
}

}  // namespace

Exit ShowSettings(Session& session) {
  const SelectedDrive& drive = session.SelectDrive();
  PrintSettings(session, drive, ReadSettings(session));
  return Exit::Ok;
}

Exit SetSettings(Session& session, const SetOptions& options) {
  RequireConsistent(options);
  const SelectedDrive& drive = session.SelectDrive(Picks::Changing);
  const DriveLock lock = session.LockDrive();
  session.RequireWriteBuffer("change the settings");
  const ReportedSettings before = ReadSettings(session);
  const SettingsChoice choice = ChoiceFor(before, options);
  RequireFeatures(before, choice, options);

  // A confirmation not given stops the run before anything is sent.
  const std::optional<CommandResult> sent = ApplySettings(choice, [&](SettingsConfirmation confirmation) {
    session.Confirm(QuestionFor(confirmation), options.yes);
    return true;
  });
  const std::string failure = session.Failure(*sent);
  const Exit failedWith = session.FailureCode(*sent);
  // What the drive took is shown, whatever went wrong, when the drive tells it.
  const ReportedSettings after = ReadReportedSettings();
  const std::string rereadFailure = session.Failure(after.read);
  if (rereadFailure.empty()) PrintSettings(session, drive, after);
  if (!failure.empty()) {
    session.StopAtFailure(failure + (rereadFailure.empty() ? "" : "\n  then " + rereadFailure), "changing the settings",
                          failedWith);
  }
  if (!rereadFailure.empty()) {
    session.StopAtFailure(rereadFailure, "reading the settings back", session.FailureCode(after.read));
  }
  if (const std::string refused = NotTaken(after, CommandsFor(choice)); !refused.empty()) {
    throw Stop{Exit::CommandFailed, "the drive did not take: " + refused};
  }
  return Exit::Ok;
}

}  // namespace norvane::tool
