#include "drive/settings.h"

#include <algorithm>
#include <type_traits>

#include "drive/commands.h"

namespace norvane {
namespace {

bool Needs(const std::vector<SettingsConfirmation>& confirmations, SettingsConfirmation confirmation) {
  return std::find(confirmations.begin(), confirmations.end(), confirmation) != confirmations.end();
}

}  // namespace

ReadModeCode ReadModeOfStatus(const std::uint8_t (&status)[kDriveStatusLength]) {
  if (status[kStatusReadErrorOn] == 0) return ReadModeOff;
  return status[kStatusReadErrorMode] == kReadModePerfectByte ? ReadModePerfect : ReadModeMaster;
}

ReportedSettings ReadReportedSettings() {
  ReportedSettings reported;
  std::uint8_t status[kDriveStatusLength];
  const auto readStatus = [&] { reported.read = Combined(reported.read, ReadDriveStatus(status)); };
  readStatus();
  reported.quiet = QuietModeOfStatus(status);
  readStatus();
  reported.readMode = ReadModeOfStatus(status);
  readStatus();
  reported.realTimeSupported = status[kStatusRealTimeSupported] != 0;
  if (reported.readMode != ReadModeOff) {
    readStatus();
    reported.realTime = status[kStatusRealTimeOn] != 0;
  }
  readStatus();
  reported.ejectAtPowerOn = status[kStatusEjectAtPowerOn] == 1;
  return reported;
}

std::vector<SettingsConfirmation> ConfirmationsFor(const SettingsChoice& choice) {
  const bool quietOff = choice.quiet == QuietOff;
  std::vector<SettingsConfirmation> confirmations;
  if (choice.realTime && choice.realTimeSwitched && quietOff) {
    confirmations.push_back(SettingsConfirmation::EnableQuietDrive);
  }
  if (quietOff && choice.quietSwitched && choice.realTime) {
    confirmations.push_back(SettingsConfirmation::DisableRealTime);
  }
  return confirmations;
}

SettingsCommands CommandsFor(const SettingsChoice& choice) {
  const std::vector<SettingsConfirmation> confirmations = ConfirmationsFor(choice);
  // The selection always carries the chosen mode; what the drive keeps is the setting's.
  SettingsCommands commands;
  commands.selection = choice.quiet;
  commands.setting = Needs(confirmations, SettingsConfirmation::EnableQuietDrive) ? QuietStandard : choice.quiet;
  commands.readMode = choice.readMode;
  commands.realTime = choice.realTime && !Needs(confirmations, SettingsConfirmation::DisableRealTime);
  commands.ejectAtPowerOn = choice.ejectAtPowerOn;
  commands.save = choice.save;
  return commands;
}

SettingsSent SendSettings(const SettingsCommands& commands) {
  // A command after a refused or lost one would leave the drive with half of
  // the set, a mode nobody chose; what it took up to there it reports back.
  const std::function<CommandResult()> sequence[] = {
      [&] { return SendQuietSelection(commands.selection); },
      [&] { return SendQuietSetting(commands.save, commands.setting); },
      [&] { return WriteReadSetting(commands.readMode, commands.realTime, commands.save); },
      [&] { return WriteEjectAtPowerOn(commands.ejectAtPowerOn); },
  };
  static_assert(std::extent_v<decltype(sequence)> == kSettingsSteps);
  SettingsSent sent;
  for (const auto& send : sequence) {
    sent.result = send();
    if (!sent.result.Complete()) break;
    ++sent.stepsTaken;
  }
  return sent;
}

std::optional<CommandResult> ApplySettings(const SettingsChoice& choice,
                                           const std::function<bool(SettingsConfirmation)>& confirm) {
  for (SettingsConfirmation confirmation : ConfirmationsFor(choice)) {
    if (!confirm(confirmation)) return std::nullopt;
  }
  return SendSettings(CommandsFor(choice)).result;
}

}  // namespace norvane
