// settings and set: the Setting tab of the window on the command line.
#include <ostream>
#include <vector>

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

// What each step of the sending sets, in the order the steps go out.
std::vector<std::string> StepsOf(const SettingsCommands& sent) {
  const std::string saved = sent.save ? " (saved)" : "";
  return {
      std::string("quiet-drive selection ") + QuietModeName(sent.selection),
      std::string("quiet-drive setting ") + QuietModeName(sent.setting) + saved,
      std::string("read-error handling ") + ReadModeName(sent.readMode) + ", real-time " + OnOff(sent.realTime) + saved,
      std::string("eject at power-on ") + OnOff(sent.ejectAtPowerOn)};
}

std::string Listed(const std::vector<std::string>& steps, std::size_t from, std::size_t to) {
  std::string list;
  for (std::size_t i = from; i < to; ++i) list += (i == from ? "" : "; ") + steps[i];
  return list;
}

// A command that did not complete, in words (empty when it did) and as an
// exit code; asked at once, since the system's side of it is the last error.
struct Failed {
  std::string text;
  Exit code;
};
Failed FailureOf(const Session& session, const CommandResult& result) {
  return {Printable(session.Failure(result)), session.FailureCode(result)};
}

// A change that stopped after the drive took part of it: what was taken,
// what failed, and what was never sent.
std::string PartlyApplied(const SettingsCommands& commands, int stepsTaken, const std::string& failure) {
  const std::vector<std::string> steps = StepsOf(commands);
  const auto taken = static_cast<std::size_t>(stepsTaken);
  std::string text = "changing the settings stopped part-way:\n  taken: " + Listed(steps, 0, taken) +
                     "\n  failed: " + steps[taken] + ": " + failure;
  if (taken + 1 < steps.size()) text += "\n  not sent: " + Listed(steps, taken + 1, steps.size());
  return text;
}

// How the change went, once the drive was read back: nothing is called
// taken that the drive did not report.
Stop Outcome(const SettingsCommands& commands, int stepsTaken, const Failed& sending, const Failed& reading,
             const ReportedSettings& after) {
  const std::string reported = reading.text.empty() ? "\n  the drive now reports the settings shown"
                                                    : "\n  then reading the settings back failed, so what the drive "
                                                      "now holds is not known:\n  " +
                                                          reading.text;
  if (!sending.text.empty() && stepsTaken > 0) {
    return {Exit::PartlyApplied, PartlyApplied(commands, stepsTaken, sending.text) + reported};
  }
  if (!sending.text.empty()) {
    return {sending.code, "changing the settings failed at its first step, and no other was sent:\n  " + sending.text +
                              (reading.text.empty() ? "" : reported)};
  }
  if (!reading.text.empty()) {
    return {reading.code,
            "the drive took every command of the change, but reading the settings back failed, so whether it holds "
            "them is not known:\n  " +
                reading.text};
  }
  if (const std::string refused = NotTaken(after, commands); !refused.empty()) {
    return {Exit::CommandFailed, "the drive did not take: " + refused};
  }
  return {Exit::Ok, ""};
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
  for (const SettingsConfirmation confirmation : ConfirmationsFor(choice)) {
    session.Confirm(QuestionFor(confirmation), options.yes);
  }

  const SettingsCommands commands = CommandsFor(choice);
  ChangeUnderWay change(session.World());
  const SettingsSent sent = SendSettings(commands);
  const Failed sending = FailureOf(session, sent.result);
  // What the drive took is shown, whatever went wrong, when the drive tells it.
  const ReportedSettings after = ReadReportedSettings();
  const Failed reading = FailureOf(session, after.read);
  if (reading.text.empty()) PrintSettings(session, drive, after);
  change.End(Outcome(commands, sent.stepsTaken, sending, reading, after));
  return Exit::Ok;
}

}  // namespace norvane::tool
