#include "drive/settings.h"

#include <algorithm>

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
  reported.quiet = ReadQuietMode();
  std::uint8_t status[kDriveStatusLength];
  ReadDriveStatus(status);
  reported.readMode = ReadModeOfStatus(status);
  ReadDriveStatus(status);
  reported.realTimeSupported = status[kStatusRealTimeSupported] != 0;
  if (reported.readMode != ReadModeOff) {
    ReadDriveStatus(status);
    reported.realTime = status[kStatusRealTimeOn] != 0;
  }
  ReadDriveStatus(status);
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

void SendSettings(const SettingsCommands& commands) {
  SendQuietSelection(commands.selection);
  SendQuietSetting(commands.save, commands.setting);
  WriteReadSetting(commands.readMode, commands.realTime, commands.save);
  WriteEjectAtPowerOn(commands.ejectAtPowerOn);
}

bool ApplySettings(const SettingsChoice& choice, const std::function<bool(SettingsConfirmation)>& confirm) {
  for (SettingsConfirmation confirmation : ConfirmationsFor(choice)) {
    if (!confirm(confirmation)) return false;
  }
  SendSettings(CommandsFor(choice));
  return true;
}

}  // namespace norvane
