#include "action_sequences.h"

#include <cstdio>

#include "tests/common/command_blocks.h"

namespace norvane::test {
namespace {

using emu::DriveSettings;
using emu::EmulatedDrive;

ExpectedCommand In(const Cdb& cdb, std::uint32_t length, char drive = kQuietDrive) {
  return {drive, cdb, DataDirection::In, length, {}};
}
ExpectedCommand NoData(const Cdb& cdb) { return {kQuietDrive, cdb, DataDirection::None, 0, {}}; }
ExpectedCommand OutNoData(const Cdb& cdb) { return {kQuietDrive, cdb, DataDirection::Out, 0, {}}; }

// The reads, with the lengths the drive answers.
ExpectedCommand Identity(char drive) { return In(kReadIdentity, 48, drive); }
ExpectedCommand Inquiry(char drive = kQuietDrive) { return In(kInquiry, 254, drive); }
const ExpectedCommand kStatusRead = In(kReadStatus, 256);
const ExpectedCommand kCountersRead = In(kReadCounters, 32);
const ExpectedCommand kPowerRead = In(kReadPower, 8);
const ExpectedCommand kDiscInformation = In(kReadDiscInfo, 34);

// A page for buffer 0xFA that starts with `head`, and SET CD SPEED with the
// vendor control byte.
ExpectedCommand SettingPage(std::vector<std::uint8_t> head) {
  return {kQuietDrive, kWritePage, DataDirection::Out, static_cast<std::uint32_t>(kDataPageLength),
          DataPage(std::move(head))};
}
ExpectedCommand SpeedSet(std::uint8_t control) { return NoData(Speed(control)); }

enum class Quiet { Off, Persistent, Standard, Performance };
enum class ReadMode { Off, Perfect, Master };

// The mode numbers of the selection and of the setting differ for the same mode.
std::uint8_t SelectionControl(Quiet quiet) {
  switch (quiet) {
    case Quiet::Persistent: return 0x82;
    case Quiet::Off: return 0x83;
    case Quiet::Performance: return 0x80;
    case Quiet::Standard: break;
  }
  return 0x81;
}

std::uint8_t SettingControl(Quiet quiet, bool save) {
  const std::uint8_t saved = save ? 0x40 : 0x00;
  switch (quiet) {
    case Quiet::Persistent: return 0x83 | saved;
    case Quiet::Off: return 0x80 | saved;
    case Quiet::Performance: return 0x81 | saved;
    case Quiet::Standard: break;
  }
  return 0x82 | saved;
}

ExpectedCommand ReadSettingPage(ReadMode mode, bool realTime, bool save) {
  std::vector<std::uint8_t> page = {0x01, 0x80, 0x00, 0x00, 0x00};
  if (mode == ReadMode::Master) page = {0x01, 0x80, 0x01, 0x08, 0x40};
  if (mode == ReadMode::Perfect) page = {0x01, 0x80, 0x01, 0xFE, 0x01};
  page.push_back(save ? 0x01 : 0x00);
  page.push_back(realTime ? 0x01 : 0x00);
  return SettingPage(page);
}

Sequence EjectAtPowerOnPages(bool eject) {
  return {SettingPage({}), SettingPage({0x0F, 0x00, static_cast<std::uint8_t>(eject ? 0x01 : 0x00)})};
}

// What the drive is sent for the whole set of settings: quiet mode `sent`
// selected, `kept` set (the two differ after a confirmation), read-error
// handling, real-time handling, eject at power-on.
struct SettingsSent {
  Quiet selected;
  Quiet kept;
  ReadMode readMode = ReadMode::Off;
  bool realTime = false;
  bool ejectAtPowerOn = false;
  bool save = false;
};

Sequence operator+(Sequence first, const Sequence& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Sequence Apply(const SettingsSent& s) {
  return Sequence{SpeedSet(SelectionControl(s.selected)), SpeedSet(SettingControl(s.kept, s.save)),
                  ReadSettingPage(s.readMode, s.realTime, s.save)} +
         EjectAtPowerOnPages(s.ejectAtPowerOn);
}

// Reading the settings back: the status buffer for the quiet mode, the
// read-error mode, the real-time support, the real-time switch (only with
// read-error handling on) and eject at power-on.
Sequence ReadBack(bool readErrorOn) { return Sequence(readErrorOn ? 5 : 4, kStatusRead); }

// The drive probes of a scan: the identity, then the label's INQUIRY.
Sequence Probe(char drive) { return {Identity(drive), Inquiry(drive)}; }

const Sequence kRestoreFactoryDefaults =
    Sequence{SpeedSet(0xC2), ReadSettingPage(ReadMode::Off, false, true)} + EjectAtPowerOnPages(false);

DriveSettings Settings(std::uint8_t quiet, bool readError, bool realTime) {
  DriveSettings settings;
  settings.quietMode = quiet;
  settings.readErrorHandling = readError;
  settings.realTime = realTime;
  return settings;
}

// A disc put in raises a medium change (and a plug a power-on), which the
// next command would hear of and repeat; the drive's state is set up without them.
void TakeMediumChange(EmulatedDrive& drive) {
  const std::array<std::uint8_t, kCdbLength> status = kStatusRead.cdb;
  std::uint8_t data[256];
  ScsiReply reply;
  reply.status = 2;
  // Every attention pending (a power-on after a plug comes first).
  for (int i = 0; i < 10 && reply.status != 0; ++i) {
    drive.Execute({status.data(), data, sizeof data, DataDirection::In, kPassThroughTimeoutSeconds}, reply);
  }
  drive.ClearLog();
}

// Every action starts from a drive on the bus in the given state, its disc
// ready (the spin-up takes no time, so that real time cannot move the
// commands of an action) and its medium change taken.
std::function<void(EmulatedDrive&)> Drive(DriveSettings settings) {
  return [settings](EmulatedDrive& drive) {
    drive.SetCurrent(settings);
    drive.SetTrayPushedInAfter(std::nullopt);
    drive.InsertDisc(0);
    TakeMediumChange(drive);
  };
}

constexpr int kSettingsTab = 0;
constexpr int kStatusTab = 1;
constexpr int kUtilityTab = 2;

// Control ids of the pages.
constexpr int kQuietOn = 1012, kQuietPersistent = 1003, kQuietPerformance = 1005, kReadOn = 1007, kReadMaster = 1009,
              kRealTime = 1010, kSave = 1006, kEjectAtPowerOn = 1081;
constexpr int kClear = 1013;
constexpr int kRunCheck = 1026, kForceEjectButton = 1015, kEjectButton = 1013, kRestoreDefaults = 1043;

UiStep Tab(int index) { return {UiStep::Kind::SelectTab, Page::Main, index}; }
UiStep Click(Page page, int id) { return {UiStep::Kind::Click, page, id}; }
const UiStep kReselect = {UiStep::Kind::SelectDrive, Page::Main, 0};

WindowAction SettingsClick(std::string name, DriveSettings before, int control, int answer, Sequence expected) {
  return {std::move(name), Drive(before), {kReselect}, {Click(Page::Settings, control)}, answer, std::move(expected)};
}

WindowAction UtilityClick(std::string name, std::function<void(EmulatedDrive&)> setup, int control, int answer,
                          Sequence expected, std::vector<UiStep> more = {}) {
  std::vector<UiStep> run = {Click(Page::Utility, control)};
  run.insert(run.end(), more.begin(), more.end());
  return {std::move(name), std::move(setup), {kReselect, Tab(kUtilityTab)}, run, answer, std::move(expected)};
}

}  // namespace

Sequence WithoutEmptyDirections(Sequence sequence) {
  for (ExpectedCommand& command : sequence) {
    if (command.transferLength == 0) command.direction = DataDirection::None;
  }
  return sequence;
}

std::string Describe(const Sequence& sequence) {
  std::string text;
  for (const ExpectedCommand& c : sequence) {
    char line[96];
    int length = std::snprintf(line, sizeof line, "  %c:", c.drive);
    for (std::uint8_t byte : c.cdb) length += std::snprintf(line + length, sizeof line - length, " %02X", byte);
    std::snprintf(line + length, sizeof line - length, " | %s %u\n",
                  c.direction == DataDirection::In    ? "in"
                  : c.direction == DataDirection::Out ? "out"
                                                      : "none",
                  c.transferLength);
    text += line;
  }
  return text;
}

const std::vector<WindowAction>& WindowActions() {
  using emu::QuietModeOff, emu::QuietModePerformance, emu::QuietModeQuiet;
  const DriveSettings factory;
  const DriveSettings readErrorOn = Settings(QuietModeQuiet, true, false);
  const DriveSettings quietOffReadOn = Settings(QuietModeOff, true, false);
  const DriveSettings realTimeOn = Settings(QuietModeQuiet, true, true);
  static const std::vector<WindowAction> actions = {
      // Both drives probed, the quiet one opened, then the Settings page's
      // reading, the Status page's support byte, and the Settings page's
      // reading again as it is shown (any move of its window makes it read).
      {"start-up scan",
       Drive(factory),
       {},
       {},
       kAnswerOk,
       Probe(kQuietDrive) + Probe(kGeneralDrive) + ReadBack(false) + Sequence{kStatusRead} + ReadBack(false)},
      SettingsClick("Settings: Performance Mode", factory, kQuietPerformance, kAnswerOk,
                    Apply({Quiet::Performance, Quiet::Performance}) + ReadBack(false)),
      SettingsClick("Settings: Persistent Quiet Mode", factory, kQuietPersistent, kAnswerOk,
                    Apply({Quiet::Persistent, Quiet::Persistent}) + ReadBack(false)),
      // Neither read mode is chosen yet: Perfect Mode is sent.
      SettingsClick("Settings: VeriTrack on", factory, kReadOn, kAnswerOk,
                    Apply({Quiet::Standard, Quiet::Standard, ReadMode::Perfect}) + ReadBack(true)),
      SettingsClick("Settings: Master Mode", readErrorOn, kReadMaster, kAnswerOk,
                    Apply({Quiet::Standard, Quiet::Standard, ReadMode::Master}) + ReadBack(true)),
      // Switching the feature off switches real-time handling off too.
      SettingsClick("Settings: quiet drive off, confirmed", realTimeOn, kQuietOn, kAnswerOk,
                    Apply({Quiet::Off, Quiet::Off, ReadMode::Perfect, false}) + ReadBack(true)),
      SettingsClick("Settings: quiet drive off, cancelled", realTimeOn, kQuietOn, kAnswerCancel, ReadBack(true)),
      // Real-time handling needs the quiet-drive feature: confirmed, the
      // feature is kept in Quiet Mode although the controls select it off.
      SettingsClick("Settings: real-time on, confirmed", quietOffReadOn, kRealTime, kAnswerOk,
                    Apply({Quiet::Off, Quiet::Standard, ReadMode::Perfect, true}) + ReadBack(true)),
      SettingsClick("Settings: real-time on, cancelled", quietOffReadOn, kRealTime, kAnswerCancel, ReadBack(true)),
      // The real-time box keeps its check while read-error handling is off;
      // the last reading before this one left it off.
      SettingsClick("Settings: eject at power-on", factory, kEjectAtPowerOn, kAnswerOk,
                    Apply({Quiet::Standard, Quiet::Standard, ReadMode::Off, false, true}) + ReadBack(false)),
      // Last of the Settings page: the save box stays on afterwards.
      SettingsClick("Settings: save", factory, kSave, kAnswerOk,
                    Apply({Quiet::Standard, Quiet::Standard, ReadMode::Off, false, false, true}) + ReadBack(false)),
      // The tab change hides the Settings page (which reads the drive as
      // any move of its window makes it), the Status page reads the drive at
      // once as its tab is selected, updates once more on its tick and
      // clears, and the way back shows the Settings page again.
      {"Status: an update and Clear",
       Drive(factory),
       {kReselect},
       {Tab(kStatusTab), {UiStep::Kind::StatusTick, Page::Status, 0}, Click(Page::Status, kClear), Tab(kSettingsTab)},
       kAnswerOk,
       ReadBack(false) + Sequence{kStatusRead, kCountersRead, kStatusRead, kCountersRead, OutNoData(kClearCounters)} +
           ReadBack(false)},
      UtilityClick("Utility: EJECT", Drive(factory), kEjectButton, kAnswerOk, {NoData(kEject)}),
      UtilityClick("Utility: force eject, confirmed", Drive(factory), kForceEjectButton, kAnswerOk,
                   {OutNoData(kForceEject)}),
      UtilityClick("Utility: force eject, cancelled", Drive(factory), kForceEjectButton, kAnswerCancel, {}),
      UtilityClick("Utility: factory default, confirmed", Drive(Settings(QuietModePerformance, true, true)),
                   kRestoreDefaults, kAnswerOk, kRestoreFactoryDefaults),
      UtilityClick("Utility: factory default, cancelled", Drive(Settings(QuietModePerformance, true, true)),
                   kRestoreDefaults, kAnswerCancel, {}),
      // The disc is found and the tray opened; the person at the drive puts
      // it back at once, so the second wait hears of the medium change and
      // asks again; then the measurement, and 26 seconds later the answer.
      UtilityClick("Utility: bus power check",
                   [](EmulatedDrive& drive) {
                     Drive(DriveSettings{})(drive);
                     drive.SetTrayPushedInAfter(0);
                   },
                   kRunCheck, kAnswerOk,
                   {kDiscInformation, NoData(kOpenTray), kDiscInformation, kDiscInformation, NoData(kStop),
                    OutNoData(kStartPowerCheck), Inquiry(), kPowerRead},
                   {{UiStep::Kind::Countdown, Page::Utility, 0}}),
  };
  return actions;
}

const std::vector<ToolAction>& ToolActions() {
  using emu::QuietModeOff, emu::QuietModePerformance, emu::QuietModeQuiet;
  const DriveSettings factory;
  const Sequence select = Probe(kQuietDrive);
  static const std::vector<ToolAction> actions = {
      {"list", Drive(factory), {"list"}, 0, Probe(kQuietDrive) + Probe(kGeneralDrive)},
      {"settings",
       Drive(Settings(QuietModeQuiet, true, true)),
       {"--device", "{device}", "settings"},
       0,
       select + ReadBack(true)},
      {"set --quiet performance",
       Drive(factory),
       {"--device", "{device}", "set", "--quiet", "performance"},
       0,
       select + ReadBack(false) + Apply({Quiet::Performance, Quiet::Performance}) + ReadBack(false)},
      {"set --read-error master --save",
       Drive(factory),
       {"--device", "{device}", "set", "--read-error", "master", "--save"},
       0,
       select + ReadBack(false) + Apply({Quiet::Standard, Quiet::Standard, ReadMode::Master, false, false, true}) +
           ReadBack(true)},
      {"set --real-time on --yes",
       Drive(Settings(QuietModeOff, true, false)),
       {"--device", "{device}", "set", "--real-time", "on", "--yes"},
       0,
       select + ReadBack(true) + Apply({Quiet::Off, Quiet::Standard, ReadMode::Perfect, true}) + ReadBack(true)},
      {"set --quiet off --yes",
       Drive(Settings(QuietModeQuiet, true, true)),
       {"--device", "{device}", "set", "--quiet", "off", "--yes"},
       0,
       select + ReadBack(true) + Apply({Quiet::Off, Quiet::Off, ReadMode::Perfect, false}) + ReadBack(true)},
      {"set --eject-at-power-on on",
       Drive(factory),
       {"--device", "{device}", "set", "--eject-at-power-on", "on"},
       0,
       select + ReadBack(false) + Apply({Quiet::Standard, Quiet::Standard, ReadMode::Off, false, true}) +
           ReadBack(false)},
      {"status", Drive(factory), {"--device", "{device}", "status"}, 0, select + Sequence{kStatusRead, kCountersRead}},
      // Only a drive that counts errors has counters to clear: its features are read first.
      {"clear",
       Drive(factory),
       {"--device", "{device}", "clear"},
       0,
       select + Sequence{kStatusRead, OutNoData(kClearCounters)}},
      {"eject", Drive(factory), {"--device", "{device}", "eject"}, 0, select + Sequence{NoData(kEject)}},
      {"force-eject --yes",
       Drive(factory),
       {"--device", "{device}", "force-eject", "--yes"},
       0,
       select + Sequence{OutNoData(kForceEject)}},
      {"factory-reset --yes",
       Drive(Settings(QuietModePerformance, true, true)),
       {"--device", "{device}", "factory-reset", "--yes"},
       0,
       select + kRestoreFactoryDefaults},
      {"power-check --yes",
       Drive(factory),
       {"--device", "{device}", "power-check", "--yes"},
       0,
       select + Sequence{kDiscInformation, NoData(kStop), OutNoData(kStartPowerCheck), Inquiry(), kPowerRead}},
      // A change without --device among two drives reaches neither: both are only identified.
      {"factory-reset --yes, no drive named",
       Drive(Settings(QuietModePerformance, true, true)),
       {"factory-reset", "--yes"},
       2,
       Probe(kQuietDrive) + Probe(kGeneralDrive)},
      {"eject, no drive named", Drive(factory), {"eject"}, 2, Probe(kQuietDrive) + Probe(kGeneralDrive)},
  };
  return actions;
}

}  // namespace norvane::test
