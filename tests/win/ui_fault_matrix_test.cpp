// Every user action under every drive fault, on emulated drives: the drive
// unplugged before the action, dropping off the bus after each command the
// action sends, a storm of unit attentions, a disc that never becomes ready,
// a failing pass-through, garbage and short data in the vendor buffers.
//
// For every cell: no crash, virtual time and repeats bounded, the window
// answering, no command that the fault-free run of the action does not send,
// nothing but reads after a Cancel, and once the drive is back and selected
// again the pages show its real state. The test prints the matrix.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "app/help_file.h"
#include "app/main_window.h"
#include "drive/channel.h"
#include "drive/commands.h"
#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

constexpr char kFaulty = 'E';
constexpr int kStatusTab = 1;
constexpr int kUtilityTab = 2;
// Two disc waits that give up after their limit, and room for the rest.
constexpr std::uint64_t kExtraTimeBoundMs = 2 * (kWaitForDiscLimitMs + 1000) + 10000;

// One command as it reached a drive: the drive, the block, the direction and
// the data sent.
using Sent = std::tuple<char, std::array<std::uint8_t, kCdbLength>, DataDirection, std::vector<std::uint8_t>>;

enum class Fault { None, Unplugged, DropsOff, AttentionStorm, NeverReady, PassThroughFails, Garbage, ShortData };

struct Column {
  Fault fault;
  const char* name;
};
constexpr Column kColumns[] = {
    {Fault::Unplugged, "unplugged"},    {Fault::DropsOff, "drops off after k"}, {Fault::AttentionStorm, "UA storm"},
    {Fault::NeverReady, "never ready"}, {Fault::PassThroughFails, "OS fails"},  {Fault::Garbage, "garbage"},
    {Fault::ShortData, "short data"},
};

class Harness;

struct Action {
  const char* name;
  emu::DriveSettings settings;            // of the faulty drive before the action
  std::function<void(Harness&)> prepare;  // with the window up, before the fault
  std::function<void(Harness&)> run;
  int answer = 0;  // the button every box of the action gets (IDOK or IDCANCEL; a notice gets OK)
  bool isStartUp = false;
  // A drive that does not answer at all is reported not connected, and the
  // drive list loses it.
  bool reportsGoneDrive = false;
};

// One run of one action: drives E (with real-time handling) and G, the
// main window, the fault.
class Harness {
 public:
  explicit Harness(const Action& action) {
    InstallDeviceIo(devices);
    emu::EmulatedDrive& faulty = devices.Attach(kFaulty, emu::QuietDriveModel());
    faulty.SetCurrent(action.settings);
    faulty.SetCounters(3, 1000, 4500);
    devices.Attach('G', emu::GeneralDriveModel());
    SetHelpFileOpener([](const std::wstring&) {});
  }
  ~Harness() {
    window.reset();
    SetHelpFileOpener(nullptr);
    ReleaseMediaNotification();
    CloseDrive();
  }

  void Start() {
    window = std::make_unique<CNorvaneDriveUtilityDlg>();
    window->CreateModeless();
  }
  HWND Main() const { return window->Handle(); }
  HWND Control(int id) const { return GetDlgItem(Main(), id); }
  emu::EmulatedDrive& Faulty() { return *devices.Drive(kFaulty); }

  void SelectTab(int index) const { test::SelectTab(Main(), index); }
  void SelectDrive(int index) const { test::SelectDrive(Main(), index); }
  int ListIndexOf(char letter) const {
    const std::vector<std::wstring> labels = ComboTexts(Control(IDC_DRIVE_LIST));
    for (std::size_t i = 0; i < labels.size(); ++i) {
      if (labels[i][0] == static_cast<wchar_t>(letter)) return static_cast<int>(i);
    }
    return -1;
  }

  // The pages' controls, found through the main window.
  HWND SettingsItem(int id) const { return GetDlgItem(window->SettingsPage()->Handle(), id); }
  HWND StatusItem(int id) const { return GetDlgItem(window->StatusPage()->Handle(), id); }
  HWND UtilityItem(int id) const { return GetDlgItem(window->UtilityPage()->Handle(), id); }
  void ClickSetting(int id) const { SendMessageW(SettingsItem(id), BM_CLICK, 0, 0); }
  void ClickUtility(int id) const { SendMessageW(UtilityItem(id), BM_CLICK, 0, 0); }
  void TickStatus() const { SendMessageW(window->StatusPage()->Handle(), WM_TIMER, 0, 0); }

  void ClearLogs() {
    for (char letter : {kFaulty, 'G'}) devices.Drive(letter)->ClearLog();
  }
  std::vector<Sent> SentCommands() {
    std::vector<Sent> sent;
    for (char letter : {kFaulty, 'G'}) {
      for (const emu::LoggedCommand& c : devices.Drive(letter)->Log())
        sent.emplace_back(letter, c.cdb, c.direction, c.dataOut);
    }
    return sent;
  }
  std::vector<emu::LoggedCommand> FaultyLog() { return Faulty().Log(); }

  void Apply(Fault fault, std::uint32_t k) {
    emu::EmulatedDrive& drive = Faulty();
    switch (fault) {
      case Fault::None: break;
      case Fault::Unplugged: drive.Unplug(); break;
      case Fault::DropsOff: drive.DropOffAfter(k); break;
      case Fault::AttentionStorm: drive.QueueSense({6, 0x29, 0x00}, 100000); break;
      case Fault::NeverReady: drive.InsertDisc(0xFFFFFFFF); break;
      case Fault::PassThroughFails: devices.FailPassThrough(kFaulty, true); break;
      case Fault::Garbage:
      case Fault::ShortData:
        for (std::uint8_t buffer : {IdentityBuffer, DriveStatusBuffer, ErrorCounterBuffer, PowerCheckBuffer}) {
          drive.OverrideBuffer(buffer, fault == Fault::Garbage ? Garbage(buffer) : std::vector<std::uint8_t>{0xA5});
        }
        break;
    }
  }

  // The drive as it was before the fault: on the bus, answering, a disc in.
  void Heal() {
    emu::EmulatedDrive& drive = Faulty();
    drive.DropOffAfter(0);
    drive.ClearQueue();
    drive.ClearOverrides();
    devices.FailPassThrough(kFaulty, false);
    if (!drive.Connected()) drive.Plug();
    drive.InsertDisc(0);
  }

  emu::EmulatedDevices devices;
  std::unique_ptr<CNorvaneDriveUtilityDlg> window;

 private:
  static std::vector<std::uint8_t> Garbage(std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(256);
    std::uint32_t state = 0x9E3779B9u ^ seed;
    for (std::uint8_t& b : bytes) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
  }
};

// Run, the prompt answered, then the 26 seconds of the countdown.
void RunBusPowerCheck(Harness& h) {
  h.ClickUtility(IDC_RUN_CHECK);
  for (int i = 0; i < 26; ++i) {
    h.devices.Clock().Advance(1000);
    if (CUtilityDialog* page = h.window->UtilityPage()) SendMessageW(page->Handle(), WM_TIMER, 0, 0);
  }
}

const std::vector<Action>& Actions() {
  const emu::DriveSettings factory;
  static const std::vector<Action> actions = {
      {"start-up scan", factory, nullptr, [](Harness&) {}, 0, true},
      {"drive selection", factory, [](Harness& h) { h.SelectDrive(1); }, [](Harness& h) { h.SelectDrive(0); }},
      {"Settings: quiet mode", factory, nullptr, [](Harness& h) { h.ClickSetting(IDC_QUIET_PERFORMANCE); }},
      {"Settings: read-error on", factory, nullptr, [](Harness& h) { h.ClickSetting(IDC_READ_ON); }},
      {"Settings: real-time, OK", Settings(emu::QuietModeOff, true, false), nullptr,
       [](Harness& h) { h.ClickSetting(IDC_REAL_TIME); }, IDOK},
      {"Settings: real-time, Cancel", Settings(emu::QuietModeOff, true, false), nullptr,
       [](Harness& h) { h.ClickSetting(IDC_REAL_TIME); }, IDCANCEL},
      {"Settings: quiet off, OK", Settings(emu::QuietModeQuiet, true, true), nullptr,
       [](Harness& h) { h.ClickSetting(IDC_QUIET_ON); }, IDOK},
      {"Settings: quiet off, Cancel", Settings(emu::QuietModeQuiet, true, true), nullptr,
       [](Harness& h) { h.ClickSetting(IDC_QUIET_ON); }, IDCANCEL},
      {"Settings: save", factory, nullptr, [](Harness& h) { h.ClickSetting(IDC_SAVE_SETTING); }},
      {"Settings: eject at power-on", factory, nullptr, [](Harness& h) { h.ClickSetting(IDC_EJECT_AT_POWER_ON); }},
      {"Status tick", factory, [](Harness& h) { h.SelectTab(kStatusTab); }, [](Harness& h) { h.TickStatus(); }},
      {"Status Clear", factory, [](Harness& h) { h.SelectTab(kStatusTab); },
       [](Harness& h) { SendMessageW(h.StatusItem(IDC_CLEAR), BM_CLICK, 0, 0); }},
      {"help item", factory, nullptr, [](Harness& h) { SendMessageW(h.Main(), WM_SYSCOMMAND, IDM_HELP, 0); }},
      {"Utility: EJECT", factory, [](Harness& h) { h.SelectTab(kUtilityTab); },
       [](Harness& h) { h.ClickUtility(IDC_EJECT); }, 0, false, true},
      {"Utility: force eject, OK", factory, [](Harness& h) { h.SelectTab(kUtilityTab); },
       [](Harness& h) { h.ClickUtility(IDC_FORCE_EJECT); }, IDOK, false, true},
      {"Utility: force eject, Cancel", factory, [](Harness& h) { h.SelectTab(kUtilityTab); },
       [](Harness& h) { h.ClickUtility(IDC_FORCE_EJECT); }, IDCANCEL},
      {"Utility: factory default, OK", Settings(emu::QuietModePerformance, true, true),
       [](Harness& h) { h.SelectTab(kUtilityTab); }, [](Harness& h) { h.ClickUtility(IDC_RESTORE_DEFAULTS); }, IDOK,
       false, true},
      {"Utility: factory default, Cancel", Settings(emu::QuietModePerformance, true, true),
       [](Harness& h) { h.SelectTab(kUtilityTab); }, [](Harness& h) { h.ClickUtility(IDC_RESTORE_DEFAULTS); },
       IDCANCEL},
      // The person at the drive pushes the opened tray back in at once.
      {"Utility: bus power check", factory,
       [](Harness& h) {
         h.SelectTab(kUtilityTab);
         h.Faulty().SetTrayPushedInAfter(0);
       },
       RunBusPowerCheck, IDOK, false, true},
  };
  return actions;
}

struct Outcome {
  std::vector<std::wstring> boxTexts;  // of every box the action showed
  std::vector<Sent> sent;
  std::size_t faultyCommands = 0;
  std::uint64_t elapsedMs = 0;
};

// What went wrong in one cell; empty when it passed.
using Failures = std::vector<std::string>;

Outcome Perform(Harness& h, const Action& action, Fault fault, std::uint32_t k, int* boxes) {
  if (!action.isStartUp) {
    h.Start();
    if (action.prepare) action.prepare(h);
  }
  h.ClearLogs();
  h.Apply(fault, k);
  const std::uint64_t start = h.devices.Clock().NowMs();
  // Every box of the action gets the action's answer, a notice its OK.
  *boxes = 0;
  std::vector<std::wstring> boxTexts;
  WhileAnsweringEach(
      action.isStartUp ? nullptr : h.Main(),
      [&](HWND box) {
        ++*boxes;
        boxTexts.push_back(InspectMessageBox(box).text);
        const int button = GetDlgItem(box, action.answer) ? action.answer : IDOK;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      },
      [&] {
        if (action.isStartUp) {
          h.Start();
          // What the window posted for itself at start-up (a notice about a
          // drive it could not use) belongs to the action.
          MSG msg;
          while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) h.window->ProcessMessage(msg);
        }
        action.run(h);
      });
  Outcome outcome;
  outcome.boxTexts = boxTexts;
  outcome.elapsedMs = h.devices.Clock().NowMs() - start;
  outcome.sent = h.SentCommands();
  outcome.faultyCommands = h.FaultyLog().size();
  return outcome;
}

// The window answers, and what the faulty drive reports once it is healthy
// and selected again is what the pages show.
void CheckAfterwards(Harness& h, Failures& failures) {
  DWORD_PTR result = 0;
  if (!IsWindow(h.Main()) || !SendMessageTimeoutW(h.Main(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) {
    failures.push_back("the window does not answer");
    return;
  }
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) h.window->ProcessMessage(msg);

  h.Heal();
  if (h.ListIndexOf(kFaulty) < 0) h.window->ScanDrives();
  const int index = h.ListIndexOf(kFaulty);
  if (index < 0) {
    failures.push_back("the healed drive is not found again");
    return;
  }
  h.SelectDrive(index);
  if (!h.window->SettingsPage() || !h.window->StatusPage()) {
    failures.push_back("a page is missing");
    return;
  }
  const emu::DriveSettings& real = h.Faulty().Current();
  const auto checked = [&](int id) { return SendMessageW(h.SettingsItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED; };
  const int quietRadio = real.quietMode == emu::QuietModePersistent    ? IDC_QUIET_PERSISTENT
                         : real.quietMode == emu::QuietModePerformance ? IDC_QUIET_PERFORMANCE
                                                                       : IDC_QUIET_STANDARD;
  if (checked(IDC_QUIET_ON) != (real.quietMode != emu::QuietModeOff) ||
      (real.quietMode != emu::QuietModeOff && !checked(quietRadio)) || checked(IDC_READ_ON) != real.readErrorHandling ||
      (real.readErrorHandling && checked(IDC_READ_PERFECT) != (real.readErrorMode == 0xFE)) ||
      (real.readErrorHandling && checked(IDC_REAL_TIME) != real.realTime) ||
      checked(IDC_EJECT_AT_POWER_ON) != real.ejectAtPowerOn) {
    failures.push_back("the Settings page does not show the drive's settings");
  }
  h.SelectTab(kStatusTab);
  h.TickStatus();
  if (!(GetWindowLongW(h.StatusItem(IDC_SECTOR_COUNT), GWL_STYLE) & WS_VISIBLE) ||
      WindowText(h.StatusItem(IDC_SECTOR_COUNT)) != std::to_wstring(h.Faulty().TransferredSectors())) {
    failures.push_back("the Status page does not show the drive's counters");
  }
}

Failures RunCell(const Action& action, Fault fault, std::uint32_t k, const Outcome& reference) {
  Failures failures;
  Harness h(action);
  int boxes = 0;
  const Outcome outcome = Perform(h, action, fault, k, &boxes);
  if (outcome.elapsedMs > reference.elapsedMs + kExtraTimeBoundMs) {
    failures.push_back("took " + std::to_string(outcome.elapsedMs) + " ms of drive time");
  }
  // Every command is repeated after a unit attention only so many times, and
  // a disc that does not become ready is asked once a second up to a limit.
  constexpr std::size_t kDiscWaitPolls = 2 * (kWaitForDiscLimitMs / 1000 + 1);
  if (outcome.faultyCommands > reference.faultyCommands * kMaxUnitAttentionAttempts + kDiscWaitPolls) {
    failures.push_back("sent " + std::to_string(outcome.faultyCommands) + " commands to the faulty drive");
  }
  const std::set<Sent> allowed(reference.sent.begin(), reference.sent.end());
  for (const Sent& sent : outcome.sent) {
    // Another drive may be read when the faulty one is gone; nothing may be
    // written anywhere that the fault-free run does not write.
    const bool mustBeExpected = std::get<0>(sent) == kFaulty || std::get<2>(sent) != DataDirection::In;
    if (mustBeExpected && !allowed.contains(sent)) {
      char text[64];
      std::snprintf(text, sizeof text, "sent %02X %02X %02X to %c, which the fault-free run does not",
                    std::get<1>(sent)[0], std::get<1>(sent)[1], std::get<1>(sent)[2], std::get<0>(sent));
      failures.push_back(text);
      break;
    }
  }
  if (action.reportsGoneDrive && (fault == Fault::Unplugged || fault == Fault::PassThroughFails)) {
    if (outcome.boxTexts.empty() || outcome.boxTexts.back() != LoadStringIn(IDS_DRIVE_NOT_CONNECTED, kEnglish)) {
      failures.push_back("the drive that is gone is not reported as not connected");
    }
    if (h.ListIndexOf(kFaulty) >= 0) failures.push_back("the drive that is gone is still listed");
  }
  if (action.answer == IDCANCEL) {
    for (const emu::LoggedCommand& c : h.FaultyLog()) {
      if (c.direction != DataDirection::In) {
        failures.push_back("a Cancel sent more than reads");
        break;
      }
    }
  }
  CheckAfterwards(h, failures);
  return failures;
}

TEST(FaultMatrix, EveryActionUnderEveryDriveFault) {
  std::vector<std::string> rows;
  for (const Action& action : Actions()) {
    SCOPED_TRACE(action.name);
    Outcome reference;
    {
      Harness h(action);
      int boxes = 0;
      reference = Perform(h, action, Fault::None, 0, &boxes);
      if (action.answer != 0) {
        EXPECT_GE(boxes, 1) << "the fault-free run asks";
      }
      Failures clean;
      CheckAfterwards(h, clean);
      EXPECT_TRUE(clean.empty()) << (clean.empty() ? "" : clean.front());
    }
    char row[256];
    int length = std::snprintf(row, sizeof row, "%-34s %3zu %4zu ", action.name, reference.faultyCommands,
                               reference.sent.size());
    for (const Column& column : kColumns) {
      const std::uint32_t last =
          column.fault == Fault::DropsOff ? static_cast<std::uint32_t>(reference.faultyCommands) : 1;
      std::uint32_t passed = 0;
      for (std::uint32_t k = 1; k <= last; ++k) {
        const Failures failures = RunCell(action, column.fault, k, reference);
        for (const std::string& failure : failures) {
          ADD_FAILURE() << column.name << (column.fault == Fault::DropsOff ? " k=" : "")
                        << (column.fault == Fault::DropsOff ? std::to_string(k) : "") << ": " << failure;
        }
        passed += failures.empty() ? 1 : 0;
      }
      char cell[32];
      if (column.fault == Fault::DropsOff) {
        std::snprintf(cell, sizeof cell, passed == last ? "ok %u/%u" : "FAIL %u/%u", passed, last);
      } else {
        std::snprintf(cell, sizeof cell, "%s", passed == last ? "ok" : "FAIL");
      }
      length += std::snprintf(row + length, sizeof row - static_cast<std::size_t>(length), "| %-*s",
                              static_cast<int>(std::string(column.name).size()) + 1, cell);
    }
    rows.push_back(row);
  }
  std::printf("%-34s %3s %4s ", "action", "cmd", "all");
  for (const Column& column : kColumns) std::printf("| %s  ", column.name);
  std::printf("\n");
  for (const std::string& row : rows) std::printf("%s\n", row.c_str());
}

}  // namespace
}  // namespace norvane::test
