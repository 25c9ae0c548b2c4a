// The Utility page on emulated drives: eject, force eject and factory
// defaults with their confirmations, and the bus power check from the click
// on Run to the verdict, with the prompt answered by the test and the
// countdown driven tick by tick on the drive's clock.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drive/channel.h"
#include "pages/settings_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "ui/activity.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr Cdb kSaveQuietMode = Speed(0xC2);

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kOrange = RGB(255, 130, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);

const wchar_t* const kEnough[] = {L"Power supply is enough.", L"電力が十分に供給されています"};
const wchar_t* const kSlightlyNotEnough[] = {L"Power supply is slightly not enough.", L"電力がやや不足しています"};
const wchar_t* const kNotEnough[] = {L"Power supply is not enough.", L"電力が不足しています"};

std::wstring InRun(const wchar_t* const (&texts)[2]) { return ForRun(texts[0], texts[1]); }

// String 102 as it reads with `seconds` left.
std::wstring Countdown(int seconds) {
  return ForRun(L"Checking now, rest ", L"チェック中 残り") + std::to_wstring(seconds) + ForRun(L" sec.", L"秒");
}

constexpr int kPageButtons[] = {IDC_RUN_CHECK, IDC_FORCE_EJECT, IDC_EJECT, IDC_RESTORE_DEFAULTS};

class UtilityPage : public MainWindowTest {
 protected:
  // E with a ready disc, and whatever the test attached before; the Utility tab shown.
  void Start() {
    if (!m_devices.Drive('E')) m_devices.Attach('E', emu::QuietDriveModel());
    MainWindowTest::Start();
    ClickTab(2);
    Drive().ClearLog();
  }

  HWND Page() const { return m_window->UtilityPage()->Handle(); }
  HWND Item(int id) const { return GetDlgItem(Page(), id); }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  std::wstring Result() const { return WindowText(Item(IDC_CHECK_RESULT)); }

  // Where the page's own timer drives the countdown, in real time: handles
  // the window's messages until the first tick shows, however late it comes.
  void PumpUntilTheCountdownShows() const {
    for (const DWORD start = GetTickCount(); Result().empty() && GetTickCount() - start < 10000;) {
      MSG msg;
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
      } else {
        Sleep(10);
      }
    }
  }

  // The text colour the page hands out for a static control.
  COLORREF TextColourOf(int id) const {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(Page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Item(id)));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
  }
  COLORREF ResultColour() const { return TextColourOf(IDC_CHECK_RESULT); }

  std::vector<bool> ButtonsEnabled() const {
    std::vector<bool> enabled;
    for (int id : kPageButtons) enabled.push_back(IsWindowEnabled(Item(id)) != FALSE);
    return enabled;
  }
  bool Busy() const {
    return ui::Activity::Now().Inside(ui::Activity::Kind::BusPowerCheck) && !IsWindowEnabled(Control(IDC_DRIVE_LIST)) &&
           ButtonsEnabled() == std::vector<bool>(4, false);
  }
  bool Idle() const {
    return !ui::Activity::Now().Inside(ui::Activity::Kind::BusPowerCheck) && IsWindowEnabled(Control(IDC_DRIVE_LIST)) &&
           ButtonsEnabled() == std::vector<bool>(4, true);
  }

  // Clicks the button and presses OK in every notice; `atFirst` runs while
  // the first notice is up (for Run, the prompt to insert a disc, as the
  // person at the drive). Answers the notices seen.
  std::vector<MessageBoxSeen> ClickAnsweringOk(
      int id, const std::function<void()>& atFirst = [] {}) {
    std::vector<MessageBoxSeen> notices;
    WhileAnsweringEach(
        Main(),
        [&](HWND box) {
          notices.push_back(InspectMessageBox(box));
          if (notices.size() == 1) atFirst();
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        },
        [&] { Click(id); });
    return notices;
  }
  std::vector<MessageBoxSeen> RunCheck(const std::function<void()>& atPrompt = [] {}) {
    return ClickAnsweringOk(IDC_RUN_CHECK, atPrompt);
  }
  static std::wstring NotConnected() {
    return ForRun(L"The drive is not connected.",
                  L"ドライブが接続されていません。\r\nドライブを接続後、ユーティリティを立ち上げてください。");
  }
  // A person closes the tray on the disc and waits until it has spun up.
  std::function<void()> PushTrayIn() {
    return [this] {
      Drive().CloseTray();
      m_devices.Clock().Advance(emu::kDefaultSpinUpMs);
    };
  }
  // One second of the countdown: the drive's clock moves on, then the tick.
  void Tick() {
    m_devices.Clock().Advance(1000);
    SendMessageW(Page(), WM_TIMER, 0, 0);
  }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) Tick();
  }
  // A check with a disc in, from Run to the verdict.
  void RunToVerdict() {
    RunCheck(PushTrayIn());
    Ticks(26);
  }
};

// ---- the page ----

TEST_F(UtilityPage, CaptionsComeFromTheStringTableAndTheResultFieldStartsEmptyInBlack) {
  Start();
  EXPECT_TRUE(IsWindowVisible(Page()));
  const struct {
    int id;
    const wchar_t* english;
    const wchar_t* japanese;
  } captions[] = {
      {IDC_CHECK_GROUP, L"Check the drive operation with USB bus power", L"バスパワー動作チェック"},
      {IDC_RUN_CHECK, L"Run", L"チェックを実行する"},
      {IDC_EJECT_GROUP, L"Eject disc", L"ディスク取り出し"},
      {IDC_FORCE_EJECT, L"Force eject disc", L"ディスクを強制的に取り出す"},
      {IDC_EJECT, L"EJECT", L"ディスクを取り出す"},
      {IDC_RESTORE_DEFAULTS, L"Restore Factory Default", L"工場出荷時の設定に戻す"},
      {IDC_CHECK_RESULT, L"", L""},
      {IDC_UTILITY_STATIC_1041, L"", L""},
  };
  for (const auto& caption : captions) {
    EXPECT_EQ(WindowText(Item(caption.id)), ForRun(caption.english, caption.japanese)) << caption.id;
  }
  EXPECT_EQ(ResultColour(), kBlack);
  EXPECT_TRUE(Idle());
}

TEST_F(UtilityPage, PageAndStaticControlsArePaintedInTheButtonFace) {
  Start();
  HDC dc = CreateCompatibleDC(nullptr);
  // A failed assertion ends its request only.
  const auto expectButtonFaceBrush = [&](UINT request) {
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(Page(), request, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Item(IDC_CHECK_GROUP))));
    LOGBRUSH colour{};
    ASSERT_EQ(GetObjectW(brush, sizeof colour, &colour), static_cast<int>(sizeof colour));
    EXPECT_EQ(colour.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(colour.lbColor, GetSysColor(COLOR_BTNFACE));
  };
  for (UINT request : {WM_CTLCOLORSTATIC, WM_CTLCOLORDLG, WM_CTLCOLORBTN}) {
    SCOPED_TRACE(testing::Message() << "request " << request);
    expectButtonFaceBrush(request);
  }
  SetBkColor(dc, RGB(1, 2, 3));
  SendMessageW(Page(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(Item(IDC_CHECK_RESULT)));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
  DeleteDC(dc);
}

// ---- EJECT, force eject, factory defaults ----

TEST_F(UtilityPage, EjectSendsItsCommandAtOnceWithoutAQuestionAlsoWithoutADisc) {
  for (bool disc : {true, false}) {
    SCOPED_TRACE(disc ? "a disc in" : "no disc");
    Start();
    if (!disc) {
      Drive().RemoveDisc();
      Drive().CloseTray();
    }
    EXPECT_FALSE(ShowsADialog(Main(), [&] { Click(IDC_EJECT); }));
    EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kEject}));
    EXPECT_EQ(Drive().TrayState(), emu::Tray::Open);
    m_window.reset();
    m_devices.Detach('E');
  }
}

TEST_F(UtilityPage, ForceEjectAsksFirstThenSendsOneCommandAndHoldsTheWindowASecond) {
  Start();
  Drive().SetMediumRemovalPrevented(true);  // the case it is for: a normal eject is refused
  const wchar_t* english =
      L" If the drive is under operation, incompleted task will be discarded. Do you continue to eject the disc?";
  const wchar_t* japanese = L"ドライブが作業中の場合、作業内容が破棄されます。\r\nディスクを強制的に取り出しますか？";

  std::uint64_t before = m_devices.Clock().NowMs();
  ExpectConfirmation(ClickAndAnswer(Item(IDC_FORCE_EJECT), IDCANCEL), Main(), ForRun(english, japanese));
  EXPECT_TRUE(SentBlocks().empty());
  EXPECT_EQ(m_devices.Clock().NowMs(), before);
  EXPECT_EQ(Drive().TrayState(), emu::Tray::Closed);

  before = m_devices.Clock().NowMs();
  ExpectConfirmation(ClickAndAnswer(Item(IDC_FORCE_EJECT), IDOK), Main(), ForRun(english, japanese));
  EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kForceEject}));
  EXPECT_EQ(Drive().TrayState(), emu::Tray::Open);
  // The pause runs on the drive's clock: a second of it passed before the click returned.
  EXPECT_GE(m_devices.Clock().NowMs() - before, 1000u);

  before = m_devices.Clock().NowMs();
  ClickAndAnswer(Item(IDC_FORCE_EJECT), IDOK);
  EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kForceEject, kForceEject})) << "the semaphore was given back";
  EXPECT_GE(m_devices.Clock().NowMs() - before, 1000u);
}

TEST_F(UtilityPage, RestoreFactoryDefaultAsksFirstThenSendsTheFourCommands) {
  emu::DriveSettings changed;
  changed.quietMode = emu::QuietModePerformance;
  changed.readErrorHandling = true;
  changed.ejectAtPowerOn = true;
  m_devices.Attach('E', emu::QuietDriveModel()).SetCurrent(changed);
  Start();
  const std::wstring question = ForRun(L" Reset all of the settings to the factory default. OK?",
                                       L"全ての設定を工場出荷時の設定に戻します。\r\nよろしいですか？");

  ExpectConfirmation(ClickAndAnswer(Item(IDC_RESTORE_DEFAULTS), IDCANCEL), Main(), question);
  EXPECT_TRUE(SentBlocks().empty());
  EXPECT_EQ(Drive().Current(), changed);

  ExpectConfirmation(ClickAndAnswer(Item(IDC_RESTORE_DEFAULTS), IDOK), Main(), question);
  EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kSaveQuietMode, kWritePage, kWritePage, kWritePage}));
  ASSERT_EQ(Drive().Log().size(), 4u);
  EXPECT_EQ(Drive().Log()[1].dataOut, DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(Drive().Log()[2].dataOut, DataPage({}));
  EXPECT_EQ(Drive().Log()[3].dataOut, DataPage({0x0F, 0x00, 0x00}));
  EXPECT_EQ(Drive().Current(), emu::DriveSettings{});
  EXPECT_EQ(Drive().Saved(), emu::DriveSettings{});
}

// ---- tooltips ----

TEST_F(UtilityPage, ThreeToolsWithTheirStringsAndATipWidthOf300AndNoneForEject) {
  Start();
  ExpectPageTools(Page(), 300,
                  {
                      {IDC_RUN_CHECK, L"Check the drive operation with USB bus power",
                       L"ドライブがUSBのバスパワーで動作するか確認します。"},
                      {IDC_FORCE_EJECT, L" When a disc cannot be taken out, it will be ejected forcibly.",
                       L"ディスクが取り出せなくなったときに強制的にディスクを取り出します。"},
                      {IDC_RESTORE_DEFAULTS, L" Reset all of the settings to the factory default. ",
                       L"全ての設定を工場出荷時の設定に戻します。"},
                  });
  EXPECT_EQ(ToolText(PageToolTip(Page()), Item(IDC_EJECT)), L"");
}

TEST_F(UtilityPage, EveryMessageForThePageOrItsControlsIsRelayedToTheTip) {
  Start();
  ExpectRelayedToPageTip(Page(), {
                                     {Item(IDC_RUN_CHECK), WM_MOUSEMOVE, 0, MAKELPARAM(3, 4), 11, {}},
                                     {Item(IDC_EJECT), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6), 12, {}},
                                     {Page(), WM_MOUSEMOVE, 0, MAKELPARAM(7, 8), 13, {}},
                                     {Item(IDC_CHECK_RESULT), WM_TIMER, 99, 0, 14, {}},
                                 });
}

// ---- the bus power check ----

struct SequenceCase {
  const char* name;
  std::function<void(emu::EmulatedDrive&)> before;  // the drive when Run is clicked
  std::function<void(emu::EmulatedDrive&)> atPrompt;
  std::vector<Cdb> preparation;  // up to the start of the measurement
  emu::Tray trayAtPrompt;
};

TEST_F(UtilityPage, CheckSendsItsWholeSequenceAndHoldsNotificationOffUntilTheVerdict) {
  const auto advanceSpinUp = [this](emu::EmulatedDrive&) { m_devices.Clock().Advance(emu::kDefaultSpinUpMs); };
  const SequenceCase cases[] = {
      {"a disc in: the tray comes out for the prompt",
       [](emu::EmulatedDrive&) {},
       [&](emu::EmulatedDrive& drive) {
         drive.CloseTray();
         advanceSpinUp(drive);
       },
       // The second read is the first one again after the drive reported the new disc.
       {kReadDiscInfo, kOpenTray, kReadDiscInfo, kReadDiscInfo, kStop, kStartPowerCheck},
       emu::Tray::Open},
      {"no disc: the prompt comes without any tray movement",
       [](emu::EmulatedDrive& drive) {
         drive.RemoveDisc();
         drive.CloseTray();
       },
       [&](emu::EmulatedDrive& drive) {
         drive.InsertDisc();
         advanceSpinUp(drive);
       },
       {kReadDiscInfo, kReadDiscInfo, kReadDiscInfo, kStop, kStartPowerCheck},
       emu::Tray::Closed},
  };
  // A failed assertion ends its case only.
  const auto check = [&](const SequenceCase& c) {
    bool notificationOff = false;
    emu::Tray tray = emu::Tray::Closed;
    const std::vector<MessageBoxSeen> notices = RunCheck([&] {
      notificationOff = m_devices.MediaChangeNotificationPrevented('E');
      tray = Drive().TrayState();
      c.atPrompt(Drive());
    });

    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, ForRun(L"Please insert a disc.  Any kind of a disc will do.",
                                      L"ディスクを挿入してください。\r\nディスクの種類は何でも構いません。"));
    EXPECT_EQ(notices[0].caption, L"ui_tests");
    EXPECT_TRUE(notices[0].ok && !notices[0].cancel);
    EXPECT_EQ(notices[0].icon, nullptr);
    // The page asks; the system makes the page's top-level window the owner.
    EXPECT_EQ(notices[0].owner, Main());
    EXPECT_TRUE(notificationOff);
    EXPECT_EQ(tray, c.trayAtPrompt);
    EXPECT_EQ(SentBlocks(), c.preparation);

    Ticks(25);
    EXPECT_EQ(SentBlocks(), c.preparation) << "the countdown asks the drive nothing";
    EXPECT_TRUE(m_devices.MediaChangeNotificationPrevented('E'));
    Tick();
    std::vector<Cdb> whole = c.preparation;
    whole.insert(whole.end(), {kInquiry, kReadPower});
    EXPECT_EQ(SentBlocks(), whole);
    EXPECT_EQ(Drive().Log().back().transferLength, 8u);
    EXPECT_EQ(Result(), InRun(kEnough));
    EXPECT_FALSE(m_devices.MediaChangeNotificationPrevented('E'));
    EXPECT_EQ(Channel().notification, kNoDevice);
    EXPECT_EQ(m_devices.OpenHandleCount(), 1) << "only the channel's own handle";
    EXPECT_TRUE(Idle());
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    c.before(Drive());
    check(c);
    m_window.reset();
    m_devices.Detach('E');
  }
}

TEST_F(UtilityPage, NoDiscAfterThePromptEndsTheRunWithoutAVerdict) {
  Start();
  RunToVerdict();
  ASSERT_EQ(Result(), InRun(kEnough));
  Drive().RemoveDisc();
  Drive().ClearLog();

  const std::vector<MessageBoxSeen> notices = RunCheck();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[1].text, ForRun(L"No disc is found.", L"ディスクがありません。"));
  EXPECT_TRUE(notices[1].ok && !notices[1].cancel);
  EXPECT_EQ(notices[1].icon, nullptr);
  EXPECT_EQ(SentBlocks(), (std::vector<Cdb>{kReadDiscInfo, kReadDiscInfo}));
  EXPECT_EQ(Result(), L"") << "the earlier verdict is gone";
  EXPECT_TRUE(Idle());
  EXPECT_FALSE(m_devices.MediaChangeNotificationPrevented('E'));
  EXPECT_EQ(Channel().notification, kNoDevice);
  Ticks(30);
  EXPECT_EQ(SentBlocks().size(), 2u) << "no countdown runs";
  EXPECT_EQ(Result(), L"");
}

TEST_F(UtilityPage, CountdownCountsFrom24To0InBlackAndTheVerdictFollowsOnTheNextTick) {
  Start();
  RunCheck(PushTrayIn());
  EXPECT_EQ(Result(), L"") << "during the first second";
  for (int tick = 1; tick <= 25; ++tick) {
    SCOPED_TRACE(testing::Message() << "tick " << tick);
    Tick();
    EXPECT_EQ(Result(), Countdown(25 - tick));
    EXPECT_EQ(ResultColour(), kBlack);
  }
  Tick();
  EXPECT_EQ(Result(), InRun(kEnough));
  EXPECT_EQ(ResultColour(), kGreen);
  EXPECT_NE(TextColourOf(IDC_CHECK_GROUP), kGreen) << "only the result field takes the verdict's colour";
}

struct VerdictCase {
  const char* name;
  std::function<void(emu::EmulatedDrive&)> beforeVerdict;
  const wchar_t* const (&verdict)[2];
  COLORREF colour;
};

TEST_F(UtilityPage, VerdictsFromThePowerValueInBytes4To7) {
  const auto power = [](std::uint32_t value) { return [value](emu::EmulatedDrive& d) { d.SetBusPower(value); }; };
  const auto bytes = [](Bytes value) { return [value](emu::EmulatedDrive& d) { d.OverrideBuffer(0xE6, value); }; };
  const VerdictCase cases[] = {
      {"4400 measured", power(4400), kSlightlyNotEnough, kOrange},
      {"4401 measured", power(4401), kEnough, kGreen},
      {"00 00 11 30", bytes({0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x11, 0x30}), kSlightlyNotEnough, kOrange},
      {"00 00 11 31", bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11, 0x31}), kEnough, kGreen},
      {"31 11 00 00", bytes({0x00, 0x00, 0x00, 0x00, 0x31, 0x11, 0x00, 0x00}), kEnough, kGreen},
      {"bytes 0..3 play no part", bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01}), kSlightlyNotEnough, kOrange},
      {"a failed read reads as zeros",
       [](emu::EmulatedDrive& d) {
         d.QueueSense({5, 0x24, 0x00});
       },
       kSlightlyNotEnough, kOrange},
  };
  Start();
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.name);
    Drive().ClearOverrides();
    Drive().SetBusPower(emu::kDefaultBusPower);
    RunCheck(PushTrayIn());
    Ticks(25);
    c.beforeVerdict(Drive());
    Tick();
    EXPECT_EQ(Result(), InRun(c.verdict));
    EXPECT_EQ(ResultColour(), c.colour);
    EXPECT_EQ(Drive().Log().back().cdb, kReadPower);
    EXPECT_TRUE(Idle());
  }
}

TEST_F(UtilityPage, ADriveThatDropsOffIsRedAndTheListAndThePagesShowTheDriveLeft) {
  m_devices.Attach('E', emu::QuietDriveModel()).SetBusPower(emu::kBrownOutPower - 1);
  m_devices.Attach('G', emu::GeneralDriveModel());
  Start();
  RunCheck(PushTrayIn());
  Ticks(25);
  Drive('G').ClearLog();
  Tick();

  EXPECT_EQ(Result(), InRun(kNotEnough));
  EXPECT_EQ(ResultColour(), kRed);
  const std::vector<std::wstring> list = ComboTexts(Control(IDC_DRIVE_LIST));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].substr(0, 4), L"G : ");
  EXPECT_EQ(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(Channel().letter, 'G');
  const std::vector<Cdb> toG = SentBlocks('G');
  EXPECT_NE(std::find(toG.begin(), toG.end(), kReadStatus), toG.end()) << "the Settings page read the drive left";
  EXPECT_EQ(Channel().notification, kNoDevice);
  EXPECT_EQ(m_devices.OpenHandleCount(), 1) << "G's, and no handle left on the lost drive";
  EXPECT_TRUE(Idle());
}

TEST_F(UtilityPage, WithNoDriveLeftThePagesShowEverythingOffAndNothingIsSent) {
  Start();
  RunCheck(PushTrayIn());
  Ticks(10);
  m_devices.Unplug('E');
  Ticks(16);

  EXPECT_EQ(Result(), InRun(kNotEnough));
  EXPECT_EQ(ResultColour(), kRed);
  EXPECT_EQ(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(m_devices.OpenHandleCount(), 0);
  HWND settings = m_window->SettingsPage()->Handle();
  EXPECT_EQ(SendMessageW(GetDlgItem(settings, IDC_QUIET_ON), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(Idle());

  // Every button still works, finds no drive to send to and says so.
  for (int id : kPageButtons) {
    SCOPED_TRACE(testing::Message() << "button " << id);
    const std::vector<MessageBoxSeen> boxes = ClickAnsweringOk(id);
    const MessageBoxSeen notice = boxes.empty() ? MessageBoxSeen{} : boxes.back();
    EXPECT_EQ(notice.text, NotConnected());
    EXPECT_TRUE(notice.ok && !notice.cancel);
    EXPECT_EQ(m_devices.OpenHandleCount(), 0);
    EXPECT_EQ(Channel().notification, kNoDevice);
    EXPECT_TRUE(Idle());
  }
}

// A drive that does not answer at all when a button is used has gone: the
// user learns that it is not connected instead of being asked for a disc,
// and the list loses it.
TEST_F(UtilityPage, ADriveGoneBeforeAnActionIsReportedNotConnectedAndLeavesTheList) {
  enum class Gone { kUnplugged, kPassThroughFails };
  for (int id : kPageButtons) {
    for (Gone gone : {Gone::kUnplugged, Gone::kPassThroughFails}) {
      SCOPED_TRACE(testing::Message() << "button " << id << (gone == Gone::kUnplugged ? ", unplugged" : ", OS fails"));
      m_devices.Attach('E', emu::QuietDriveModel());
      m_devices.Attach('G', emu::GeneralDriveModel());
      Start();
      if (gone == Gone::kUnplugged) m_devices.Unplug('E');
      if (gone == Gone::kPassThroughFails) m_devices.FailPassThrough('E', true);
      const std::vector<MessageBoxSeen> boxes = ClickAnsweringOk(id);
      // EXPECT, not ASSERT: each case must reach its clean-up below.
      EXPECT_FALSE(boxes.empty());
      if (!boxes.empty()) {
        EXPECT_EQ(boxes.back().text, NotConnected());
      }
      for (const MessageBoxSeen& box : boxes) {
        EXPECT_NE(box.text, ForRun(L"Please insert a disc.  Any kind of a disc will do.",
                                   L"ディスクを挿入してください。\r\nディスクの種類は何でも構いません。"));
      }
      const std::vector<std::wstring> list = ComboTexts(Control(IDC_DRIVE_LIST));
      EXPECT_EQ(list.size(), 1u);
      if (!list.empty()) {
        EXPECT_EQ(list[0].substr(0, 4), L"G : ");
      }
      EXPECT_EQ(Channel().letter, 'G');
      EXPECT_EQ(Channel().notification, kNoDevice);
      EXPECT_TRUE(Idle());
      m_window.reset();
      CloseDrive();
      m_devices.FailPassThrough('E', false);
      m_devices.Detach('E');
      m_devices.Detach('G');
    }
  }
}

TEST_F(UtilityPage, BusyFromRunToVerdictWithTheTabsHeldAndASecondCheckStartsEmptyInBlack) {
  m_devices.Attach('E', emu::QuietDriveModel());
  m_devices.Attach('G', emu::GeneralDriveModel());
  Start();
  bool busyAtPrompt = false;
  RunCheck([&] {
    busyAtPrompt = Busy();
    PushTrayIn()();
  });
  EXPECT_TRUE(busyAtPrompt);
  Ticks(3);
  EXPECT_TRUE(Busy());
  for (int tab : {1, 0}) {
    SCOPED_TRACE(testing::Message() << "tab " << tab);
    ClickTab(tab);
    EXPECT_TRUE(IsWindowVisible(Page()));
    EXPECT_EQ(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0), 2);
    EXPECT_FALSE(m_window->StatusPage()->TabSelected());
  }
  Ticks(23);
  EXPECT_EQ(Result(), InRun(kEnough));
  EXPECT_TRUE(Idle());

  SelectDrive(1);
  EXPECT_EQ(Result(), InRun(kEnough)) << "another drive leaves the verdict shown";
  EXPECT_EQ(ResultColour(), kGreen);
  SelectDrive(0);

  std::wstring atSecondPrompt = L"?";
  RunCheck([&] {
    atSecondPrompt = Result();
    PushTrayIn()();
  });
  EXPECT_EQ(atSecondPrompt, L"");
  Tick();
  EXPECT_EQ(Result(), Countdown(24));
  EXPECT_EQ(ResultColour(), kBlack);
  Ticks(25);
  EXPECT_TRUE(Idle());
  ClickTab(1);
  EXPECT_FALSE(IsWindowVisible(Page()));
  EXPECT_TRUE(m_window->StatusPage()->TabSelected());
}

// None of the page's buttons is a default button (thick border, Enter from
// anywhere presses it) at any time.
bool NoDefaultButton(HWND main, HWND page) {
  for (int id : kPageButtons) {
    if ((GetWindowLongW(GetDlgItem(page, id), GWL_STYLE) & BS_TYPEMASK) != BS_PUSHBUTTON) return false;
  }
  const auto defId = static_cast<DWORD>(SendMessageW(main, DM_GETDEFID, 0, 0));
  return HIWORD(defId) != DC_HASDEFID ||
         std::find(std::begin(kPageButtons), std::end(kPageButtons), LOWORD(defId)) == std::end(kPageButtons);
}

TEST_F(UtilityPage, TheKeyboardFocusGoesBackToRunWhenTheCheckEndsAndNoButtonBecomesTheDefault) {
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  ShowWindow(Main(), SW_SHOW);
  SetForegroundWindow(Main());
  EXPECT_TRUE(NoDefaultButton(Main(), Page())) << "before any check";
  enum class Outcome { kVerdict, kNoDisc, kDriveGone };
  // A failed assertion ends its run only.
  const auto check = [&](Outcome outcome) {
    SetFocus(Item(IDC_RUN_CHECK));
    ASSERT_EQ(GetFocus(), Item(IDC_RUN_CHECK));
    bool noDefaultDuring = false;
    if (outcome == Outcome::kVerdict) {
      RunCheck([&] {
        noDefaultDuring = NoDefaultButton(Main(), Page());
        PushTrayIn()();
      });
      Ticks(3);
      noDefaultDuring = noDefaultDuring && NoDefaultButton(Main(), Page());
      Ticks(23);
    } else if (outcome == Outcome::kNoDisc) {
      Drive().RemoveDisc();
      RunCheck([&] { noDefaultDuring = NoDefaultButton(Main(), Page()); });
    } else {
      m_devices.FailPassThrough('E', true);
      RunCheck();
      noDefaultDuring = true;
      m_devices.FailPassThrough('E', false);
    }
    EXPECT_TRUE(noDefaultDuring);
    EXPECT_TRUE(Idle());
    if (outcome != Outcome::kDriveGone) {
      EXPECT_EQ(GetFocus(), Item(IDC_RUN_CHECK)) << "focus on control " << GetDlgCtrlID(GetFocus());
    }
    EXPECT_TRUE(NoDefaultButton(Main(), Page())) << "after the check";
    // The focus moves on by mouse, as after a click on the tab control.
    SetFocus(Control(IDC_PAGE_TABS));
    EXPECT_TRUE(NoDefaultButton(Main(), Page())) << "once the focus has moved on";
  };
  for (Outcome outcome : {Outcome::kVerdict, Outcome::kNoDisc, Outcome::kVerdict, Outcome::kDriveGone}) {
    SCOPED_TRACE(testing::Message() << "outcome " << static_cast<int>(outcome));
    if (!m_devices.Drive('E')->Connected() || SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCOUNT, 0, 0) == 0) {
      m_window->ScanDrives();
    }
    Drive().InsertDisc(0);
    check(outcome);
  }
}

// ---- the tabs and the keyboard during a check ----

// Every way of changing tabs, by mouse and by keyboard (sent to the tab
// control, where the focus is while the page's buttons are disabled).
struct TabAttempt {
  const char* name;
  std::function<void()> attempt;
};

TEST_F(UtilityPage, NoWayOfChangingTabsWorksDuringACheckAndAfterItTheHeaderAndThePageAgree) {
  m_devices.Attach('E', emu::QuietDriveModel());
  Start();
  ShowWindow(Main(), SW_SHOW);
  SetForegroundWindow(Main());
  HWND tabs = Control(IDC_PAGE_TABS);
  const auto key = [this, tabs](UINT vk, std::initializer_list<int> held) { PressKey(tabs, vk, held); };
  const TabAttempt attempts[] = {
      {"click Status", [this] { ClickTab(1); }},
      {"click Setting", [this] { ClickTab(0); }},
      {"left", [&] { key(VK_LEFT, {}); }},
      {"left again", [&] { key(VK_LEFT, {}); }},
      {"right", [&] { key(VK_RIGHT, {}); }},
      {"Ctrl+Tab", [&] { key(VK_TAB, {VK_CONTROL}); }},
      {"Ctrl+Shift+Tab",
       [&] {
         key(VK_TAB, {VK_CONTROL, VK_SHIFT});
       }},
      {"Ctrl+PgUp", [&] { key(VK_PRIOR, {VK_CONTROL}); }},
      {"Ctrl+PgDn", [&] { key(VK_NEXT, {VK_CONTROL}); }},
  };
  const auto shownPage = [&] {
    const HWND pages[] = {m_window->SettingsPage()->Handle(), m_window->StatusPage()->Handle(), Page()};
    int shown = -1;
    for (int i = 0; i < 3; ++i) {
      if (IsWindowVisible(pages[i])) shown = shown == -1 ? i : -2;
    }
    return shown;
  };
  const auto pump = [&] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
  };

  RunCheck(PushTrayIn());
  Ticks(3);
  SetFocus(tabs);
  for (const TabAttempt& a : attempts) {
    SCOPED_TRACE(testing::Message() << "during the check: " << a.name);
    a.attempt();
    pump();
    EXPECT_EQ(shownPage(), 2);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_FALSE(m_window->StatusPage()->TabSelected());
    EXPECT_TRUE(IsWindow(Main()) && IsWindowVisible(Main()));
  }
  Ticks(23);
  ASSERT_TRUE(Idle());
  for (const TabAttempt& a : attempts) {
    SCOPED_TRACE(testing::Message() << "after the verdict: " << a.name);
    a.attempt();
    pump();
    const int shown = shownPage();
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), shown);
    EXPECT_EQ(m_window->StatusPage()->TabSelected(), shown == 1);
  }
}

// ---- closing the main window during a countdown ----

TEST_F(UtilityPage, ClosingTheMainWindowDuringACountdownEndsTheCheckCleanly) {
  m_devices.Attach('E', emu::QuietDriveModel()).SetTrayPushedInAfter(0);  // the disc goes back in at once
  m_window = std::make_unique<CNorvaneDriveUtilityDlg>();
  std::wstring resultBeforeClose;
  const auto clickRun = [&] {
    WhileAnswering(
        Main(), [](HWND box) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); },
        [&] { Click(IDC_RUN_CHECK); });
  };
  // The window is closed as soon as the first tick shows.
  const auto closeAtTheFirstTick = [&] {
    PumpUntilTheCountdownShows();
    resultBeforeClose = Result();
    PostMessageW(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  };
  const auto runThenClose = [&] {
    clickRun();
    closeAtTheFirstTick();
  };
  EXPECT_EQ(RunModal(*m_window, {{50, runThenClose}}, 20000), IDCANCEL);

  EXPECT_EQ(resultBeforeClose, Countdown(24)) << "the page's timer ticked once a second";
  EXPECT_EQ(m_window->UtilityPage(), nullptr);
  EXPECT_EQ(Channel().notification, kNoDevice);
  EXPECT_FALSE(m_devices.MediaChangeNotificationPrevented('E'));

  Drive().ClearLog();
  m_devices.Clock().Advance(30000);
  MSG msg;
  const DWORD until = GetTickCount() + 1200;
  while (GetTickCount() < until) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
  EXPECT_TRUE(Drive().Log().empty()) << "no command after the window has gone";
}

// Enter and Escape, with the focus where disabling Run left it, do nothing
// during a countdown; the close box and Alt+F4 still end the window, and
// the check with it.
TEST_F(UtilityPage, EnterAndEscapeDoNothingDuringACheckWhileTheCloseBoxAndAltF4StillClose) {
  const struct {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } closes[] = {
      {"close box", WM_SYSCOMMAND, SC_CLOSE, 0},
      {"Alt+F4", WM_SYSKEYDOWN, VK_F4, static_cast<LPARAM>(KF_ALTDOWN) << 16 | 1},
  };
  m_devices.Attach('E', emu::QuietDriveModel()).SetTrayPushedInAfter(0);
  for (const auto& close : closes) {
    SCOPED_TRACE(close.name);
    m_window = std::make_unique<CNorvaneDriveUtilityDlg>();
    const auto clickRun = [&] {
      SelectTab(2);
      WhileAnswering(
          Main(), [](HWND box) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); },
          [&] { Click(IDC_RUN_CHECK); });
    };
    // The keys go in once the countdown shows; the window is closed once the
    // dialog's own loop has handled them.
    bool openAfterKeys = false;
    std::wstring resultAfterKeys;
    const auto closeWindow = [&] {
      openAfterKeys = IsWindow(Main()) && IsWindowVisible(Main());
      resultAfterKeys = Result();
      PostMessageW(Main(), close.message, close.wParam, close.lParam);
    };
    const auto runThenKeys = [&] {
      clickRun();
      PumpUntilTheCountdownShows();
      for (HWND target : {GetFocus(), Control(IDC_PAGE_TABS), Main()}) {
        for (WPARAM vk : {VK_RETURN, VK_ESCAPE}) {
          PostMessageW(target, WM_KEYDOWN, vk, 1);
          PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
        }
      }
      AfterPostedMessages(closeWindow);
    };
    EXPECT_EQ(RunModal(*m_window, {{50, runThenKeys}}, 20000), IDCANCEL);
    EXPECT_TRUE(openAfterKeys);
    // A second tick may come while the keys are handled on a busy machine.
    EXPECT_TRUE(resultAfterKeys == Countdown(24) || resultAfterKeys == Countdown(23))
        << "the keys ended the check: " << testing::PrintToString(resultAfterKeys);
    EXPECT_EQ(m_window->UtilityPage(), nullptr);
    EXPECT_EQ(Channel().notification, kNoDevice);
    EXPECT_FALSE(m_devices.MediaChangeNotificationPrevented('E'));
    m_window.reset();
  }
}

}  // namespace
}  // namespace norvane::test
