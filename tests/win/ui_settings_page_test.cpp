// The Settings page on emulated drives: what it shows of the drive, what a
// click sends, the two confirmations, the tooltips and their relay.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pages/settings_page.h"
#include "resource.h"
#include "tests/common/command_blocks.h"
#include "tests/common/refusing_one.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

emu::DriveSettings Settings(std::uint8_t quiet, bool readError, std::uint8_t readMode, bool realTime) {
  emu::DriveSettings settings;
  settings.quietMode = quiet;
  settings.readErrorHandling = readError;
  settings.readErrorMode = readMode;
  settings.realTime = realTime;
  return settings;
}

class SettingsPage : public MainWindowTest {
 protected:
  void Start(const emu::DriveSettings& settings = {}) {
    m_devices.Attach('E', emu::QuietDriveModel()).SetCurrent(settings);
    m_devices.Attach('G', emu::GeneralDriveModel());
    MainWindowTest::Start();
    Drive().ClearLog();
  }

  HWND Page() const { return m_window->SettingsPage()->Handle(); }
  HWND Item(int id) const { return GetDlgItem(Page(), id); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }

  // The data of the n-th page written to buffer 0xFA.
  Bytes WrittenPage(std::size_t n) {
    for (const emu::LoggedCommand& c : Drive().Log()) {
      if (c.cdb == kWritePage && n-- == 0) return c.dataOut;
    }
    return {};
  }
  // Clicks `id` and answers the confirmation that must come up.
  void ClickAndConfirm(int id, int answer, const wchar_t* english, const wchar_t* japanese) {
    ExpectConfirmation(ClickAndAnswer(Item(id), answer), Main(), ForRun(english, japanese));
  }
  // Ends one round of a test that starts the window more than once.
  void Stop() {
    m_window.reset();
    m_devices.Detach('E');
    m_devices.Detach('G');
  }
};

TEST_F(SettingsPage, ShowsTheFactoryStateWithTextsFromTheStringTable) {
  Start();
  EXPECT_TRUE(IsWindowVisible(Page()));
  EXPECT_TRUE(Checked(IDC_QUIET_ON));
  EXPECT_TRUE(Checked(IDC_QUIET_STANDARD));
  EXPECT_FALSE(Checked(IDC_QUIET_PERSISTENT) || Checked(IDC_QUIET_PERFORMANCE));
  EXPECT_TRUE(Enabled(IDC_QUIET_PERSISTENT) && Enabled(IDC_QUIET_STANDARD) && Enabled(IDC_QUIET_PERFORMANCE));
  EXPECT_FALSE(Checked(IDC_READ_ON));
  EXPECT_FALSE(Enabled(IDC_READ_PERFECT) || Enabled(IDC_READ_MASTER) || Enabled(IDC_REAL_TIME));
  EXPECT_TRUE(IsWindowVisible(Item(IDC_REAL_TIME))) << "this model supports real-time handling";
  EXPECT_FALSE(Checked(IDC_SAVE_SETTING) || Checked(IDC_EJECT_AT_POWER_ON));

  EXPECT_EQ(WindowText(Item(IDC_QUIET_GROUP)), ForRun(L"Advanced Quiet Drive Feature", L"アドバンスド静音機能"));
  EXPECT_EQ(WindowText(Item(IDC_QUIET_PERSISTENT)), ForRun(L"Persistent Quiet Mode", L"常時静音モード"));
  EXPECT_EQ(WindowText(Item(IDC_QUIET_PERFORMANCE)), ForRun(L"Performance Mode", L"パフォーマンスモード"));
  EXPECT_EQ(WindowText(Item(IDC_SAVE_SETTING)), ForRun(L"Save setting to the drive", L"ドライブに設定を保存する"));
  EXPECT_EQ(WindowText(Item(IDC_READ_MASTER)), ForRun(L"Master Mode", L"マスターモード"));
  EXPECT_EQ(WindowText(Item(IDC_EJECT_AT_POWER_ON)),
            ForRun(L"Eject Disc at Power-on", L"パワーオン時にディスクをイジェクトする"));
  EXPECT_EQ(WindowText(Item(IDC_REAL_TIME)), L"Real Time Veri Track");
}

TEST_F(SettingsPage, AClickSendsTheWholeSetThenReadsTheDriveBack) {
  Start();
  Click(IDC_QUIET_PERFORMANCE);
  const std::vector<Cdb> expected = {
      Speed(0x80), Speed(0x81), kWritePage,  kWritePage,  kWritePage,  // selection, setting, read page, zero, eject
      kReadStatus, kReadStatus, kReadStatus, kReadStatus,              // refresh; read-error handling is off
  };
  EXPECT_EQ(SentBlocks(), expected);
  EXPECT_EQ(WrittenPage(0), DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(WrittenPage(1), DataPage({}));
  EXPECT_EQ(WrittenPage(2), DataPage({0x0F, 0x00, 0x00}));
  EXPECT_EQ(Drive().Current().quietMode, emu::QuietModePerformance);
  EXPECT_TRUE(Checked(IDC_QUIET_PERFORMANCE));
  EXPECT_FALSE(Checked(IDC_QUIET_STANDARD));
}

// A command of the set that the drive refuses ends the set: nothing goes out
// after it, and the refresh shows what the drive then reports.
TEST_F(SettingsPage, ARefusedCommandEndsTheSetAndThePageShowsWhatTheDriveTook) {
  const std::vector<Cdb> set = {Speed(0x80), Speed(0x81), kWritePage, kWritePage, kWritePage};
  const struct {
    const char* refused;
    std::uint8_t quietMode;  // what the drive then reports
    int checked;             // the quiet button the page then shows checked, or 0 for the feature off
  } cases[] = {
      {"the quiet selection", emu::QuietModeQuiet, IDC_QUIET_STANDARD},
      {"the quiet setting", emu::QuietModeOff, 0},
      {"the read-error page", emu::QuietModePerformance, IDC_QUIET_PERFORMANCE},
      {"the zero page ahead of the eject page", emu::QuietModePerformance, IDC_QUIET_PERFORMANCE},
      {"the eject page", emu::QuietModePerformance, IDC_QUIET_PERFORMANCE},
  };
  for (std::size_t position = 0; position < std::size(cases); ++position) {
    SCOPED_TRACE(cases[position].refused);
    Start();
    RefusingOne refusing(m_devices, 'E', position);
    InstallDeviceIo(refusing);
    Click(IDC_QUIET_PERFORMANCE);
    InstallDeviceIo(m_devices);
    std::vector<Cdb> expected(set.begin(), set.begin() + static_cast<std::ptrdiff_t>(position) + 1);
    expected.insert(expected.end(), 4, kReadStatus);  // the refresh; read-error handling is off
    EXPECT_EQ(SentBlocks(), expected);
    EXPECT_EQ(Drive().Current().quietMode, cases[position].quietMode);
    EXPECT_EQ(Checked(IDC_QUIET_ON), cases[position].checked != 0);
    if (cases[position].checked != 0) {
      EXPECT_TRUE(Checked(cases[position].checked));
    }
    Stop();
  }
}

TEST_F(SettingsPage, ReadErrorHandlingOnReadsTheStatusFiveTimes) {
  Start(Settings(emu::QuietModeQuiet, true, 0x08, true));
  Click(IDC_EJECT_AT_POWER_ON);
  std::size_t reads = 0;
  for (const Cdb& cdb : SentBlocks()) reads += cdb == kReadStatus;
  EXPECT_EQ(reads, 5u);
  EXPECT_EQ(WrittenPage(0), DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x00, 0x01}));
  EXPECT_EQ(WrittenPage(2), DataPage({0x0F, 0x00, 0x01}));
  EXPECT_TRUE(Checked(IDC_READ_ON) && Checked(IDC_READ_MASTER) && Checked(IDC_REAL_TIME));
  EXPECT_TRUE(Enabled(IDC_REAL_TIME));
  EXPECT_TRUE(Checked(IDC_EJECT_AT_POWER_ON));
}

TEST_F(SettingsPage, SaveSettingIsTheUsersAndGoesOutAsTheSaveFlag) {
  Start();
  Click(IDC_SAVE_SETTING);
  EXPECT_EQ(SentBlocks()[1], Speed(0xC2));
  EXPECT_EQ(WrittenPage(0)[5], 0x01);
  EXPECT_TRUE(Checked(IDC_SAVE_SETTING)) << "no refresh touches it";
  EXPECT_EQ(Drive().Saved().quietMode, emu::QuietModeQuiet);

  Drive().ClearLog();
  Click(IDC_QUIET_PERSISTENT);
  EXPECT_EQ(SentBlocks()[1], Speed(0xC3));
  EXPECT_EQ(Drive().Saved().quietMode, emu::QuietModePersistent);
  SelectDrive(0);
  EXPECT_TRUE(Checked(IDC_SAVE_SETTING));
}

TEST_F(SettingsPage, TurningTheQuietFeatureOnSelectsQuietMode) {
  Start(Settings(emu::QuietModeOff, false, 0xFE, false));
  EXPECT_FALSE(Checked(IDC_QUIET_ON));
  EXPECT_FALSE(Enabled(IDC_QUIET_STANDARD));
  Click(IDC_QUIET_ON);
  EXPECT_EQ(SentBlocks()[0], Speed(0x81));
  EXPECT_EQ(SentBlocks()[1], Speed(0x82));
  EXPECT_TRUE(Checked(IDC_QUIET_ON) && Checked(IDC_QUIET_STANDARD));
  EXPECT_TRUE(Enabled(IDC_QUIET_PERSISTENT) && Enabled(IDC_QUIET_STANDARD) && Enabled(IDC_QUIET_PERFORMANCE));
}

TEST_F(SettingsPage, WhatTheDriveDoesNotTakeShowsAfterTheRefresh) {
  Start(Settings(emu::QuietModeQuiet, true, 0xFE, true));
  ASSERT_TRUE(Checked(IDC_REAL_TIME));
  SelectDrive(1);  // G: no real-time support; the box keeps its state while read-error handling is off
  Drive('G').ClearLog();
  Click(IDC_READ_ON);
  ASSERT_GE(Drive('G').Log().size(), 3u);
  EXPECT_EQ(Drive('G').Log()[2].dataOut, DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x01})) << "real-time asked for";
  EXPECT_FALSE(Drive('G').Current().realTime);
  EXPECT_TRUE(Checked(IDC_READ_ON) && Checked(IDC_READ_PERFECT));
  EXPECT_TRUE(Enabled(IDC_REAL_TIME));
  EXPECT_FALSE(Checked(IDC_REAL_TIME)) << "the page shows what the drive took";
}

TEST_F(SettingsPage, ConfirmationABeforeRealTimeWithQuietOff) {
  for (int answer : {IDCANCEL, IDOK}) {
    SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
    Start(Settings(emu::QuietModeOff, true, 0xFE, false));
    ClickAndConfirm(IDC_REAL_TIME, answer, L"Enable the Advanced Quiet Drive Feature. OK?",
                    L"アドバンスド静音機能を有効にします。よろしいですか？");
    if (answer == IDCANCEL) {
      EXPECT_EQ(SentBlocks(), (std::vector<Cdb>(5, kReadStatus))) << "nothing sent, the drive read back";
      EXPECT_FALSE(Checked(IDC_REAL_TIME));
      EXPECT_FALSE(Checked(IDC_QUIET_ON));
    } else {
      EXPECT_EQ(SentBlocks()[0], Speed(0x83)) << "the controls' own quiet mode: off";
      EXPECT_EQ(SentBlocks()[1], Speed(0x82)) << "the setting forced to Quiet Mode";
      EXPECT_EQ(WrittenPage(0), DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x01}));
      EXPECT_TRUE(Checked(IDC_QUIET_ON) && Checked(IDC_QUIET_STANDARD) && Checked(IDC_REAL_TIME));
    }
    Stop();
  }
}

TEST_F(SettingsPage, ConfirmationBBeforeQuietOffUnderRealTime) {
  // A failed assertion ends its answer only.
  const auto answerWith = [&](int answer) {
    ASSERT_TRUE(Checked(IDC_REAL_TIME));
    ClickAndConfirm(IDC_QUIET_ON, answer, L"Disable the Real Time Veri Track. OK?",
                    L"Real Time Veri Trackの機能が無効になります。よろしいですか？");
    if (answer == IDCANCEL) {
      EXPECT_EQ(SentBlocks(), (std::vector<Cdb>(5, kReadStatus)));
      EXPECT_TRUE(Checked(IDC_QUIET_ON) && Checked(IDC_REAL_TIME));
      EXPECT_TRUE(Enabled(IDC_QUIET_STANDARD));
    } else {
      EXPECT_EQ(SentBlocks()[0], Speed(0x83));
      EXPECT_EQ(SentBlocks()[1], Speed(0x80));
      EXPECT_EQ(WrittenPage(0), DataPage({0x01, 0x80, 0x01, 0xFE, 0x01, 0x00, 0x00})) << "real-time dropped";
      EXPECT_FALSE(Checked(IDC_QUIET_ON) || Checked(IDC_REAL_TIME));
      EXPECT_FALSE(Enabled(IDC_QUIET_STANDARD));
    }
  };
  for (int answer : {IDCANCEL, IDOK}) {
    SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
    Start(Settings(emu::QuietModeQuiet, true, 0xFE, true));
    answerWith(answer);
    Stop();
  }
}

struct StatusCase {
  const char* name;
  std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
  bool readOn, master, realTimeShown, realTimeOn, ejectOn;
};

TEST_F(SettingsPage, DecodesTheStatusBytes) {
  const StatusCase cases[] = {
      {"all zero", {}, false, false, false, false, false},
      {"eject needs exactly 1", {{40, 2}, {29, 1}}, false, false, true, false, false},
      {"eject", {{40, 1}}, false, false, false, false, true},
      {"perfect, real-time any non-zero", {{4, 1}, {5, 0xFE}, {28, 2}, {29, 7}}, true, false, true, true, false},
      {"master is any other mode byte", {{4, 9}, {5, 0x01}, {29, 1}}, true, true, true, false, false},
  };
  Start();
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes status(256, 0);
    for (auto [offset, value] : c.bytes) status[offset] = value;
    Drive().OverrideBuffer(0xF4, status);
    SelectDrive(0);
    EXPECT_EQ(Checked(IDC_READ_ON), c.readOn);
    EXPECT_EQ(Checked(IDC_READ_MASTER), c.master);
    EXPECT_EQ(Checked(IDC_READ_PERFECT), c.readOn && !c.master);
    EXPECT_EQ(Enabled(IDC_READ_PERFECT), c.readOn);
    EXPECT_EQ(IsWindowVisible(Item(IDC_REAL_TIME)) != FALSE, c.realTimeShown);
    EXPECT_EQ(Enabled(IDC_REAL_TIME), c.readOn);
    if (c.readOn) {
      EXPECT_EQ(Checked(IDC_REAL_TIME), c.realTimeOn);
    }
    EXPECT_EQ(Checked(IDC_EJECT_AT_POWER_ON), c.ejectOn);
  }
}

TEST_F(SettingsPage, ADriveThatAnswersNothingShowsEverythingOff) {
  Start(Settings(emu::QuietModeQuiet, true, 0xFE, true));
  m_devices.Unplug('E');
  SelectDrive(0);
  EXPECT_FALSE(Checked(IDC_QUIET_ON) || Checked(IDC_QUIET_STANDARD));
  EXPECT_FALSE(Enabled(IDC_QUIET_PERSISTENT) || Enabled(IDC_QUIET_STANDARD) || Enabled(IDC_QUIET_PERFORMANCE));
  EXPECT_TRUE(Enabled(IDC_QUIET_ON));
  EXPECT_FALSE(Checked(IDC_READ_ON));
  EXPECT_FALSE(Enabled(IDC_READ_PERFECT) || Enabled(IDC_READ_MASTER) || Enabled(IDC_REAL_TIME));
  EXPECT_FALSE(IsWindowVisible(Item(IDC_REAL_TIME)));
  EXPECT_FALSE(Checked(IDC_EJECT_AT_POWER_ON));
}

TEST_F(SettingsPage, AHiddenOrDisabledRealTimeBoxStillSendsItsState) {
  Start(Settings(emu::QuietModeQuiet, true, 0xFE, true));
  ASSERT_TRUE(Checked(IDC_REAL_TIME));
  SelectDrive(1);  // G: no real-time support, read-error handling off
  EXPECT_FALSE(IsWindowVisible(Item(IDC_REAL_TIME)));
  EXPECT_FALSE(Enabled(IDC_REAL_TIME));
  EXPECT_TRUE(Checked(IDC_REAL_TIME)) << "kept while read-error handling is off";
  Drive('G').ClearLog();
  Click(IDC_SAVE_SETTING);
  const Bytes* page = nullptr;
  for (const emu::LoggedCommand& c : Drive('G').Log()) {
    if (c.cdb == kWritePage) {
      page = &c.dataOut;
      break;
    }
  }
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(*page, DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x01}));
}

TEST_F(SettingsPage, EnterAndEscapeSendTheSettingsAndLeaveThePageShown) {
  Start();
  // A failed assertion ends its key only.
  const auto press = [&](WPARAM key) {
    Drive().ClearLog();
    SetFocus(Item(IDC_SAVE_SETTING));
    MSG msg{Item(IDC_SAVE_SETTING), WM_KEYDOWN, key, 0, 0, {}};
    m_window->ProcessMessage(msg);
    ASSERT_GE(SentBlocks().size(), 5u);
    EXPECT_EQ(SentBlocks()[0], Speed(0x81));
    EXPECT_EQ(SentBlocks()[4], kWritePage);
    EXPECT_TRUE(IsWindowVisible(Page()));
    EXPECT_TRUE(IsWindowVisible(Main()));
  };
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    SCOPED_TRACE(testing::Message() << "key " << key);
    press(key);
  }
}

TEST_F(SettingsPage, ShowingThePageReadsTheDrive) {
  Start();
  SelectTab(2);
  Drive().ClearLog();
  SelectTab(0);
  EXPECT_FALSE(SentBlocks().empty());
  EXPECT_EQ(SentBlocks()[0], kReadStatus);
}

// ---- tooltips ----

TEST_F(SettingsPage, EightToolsWithTheirStringsAndATipWidthOf300) {
  Start();
  ExpectPageTools(
      Page(), 300,
      {
          {IDC_QUIET_ON, L"Switches the \"Advanced Quiet Drive Feature \" On/Off.",
           L"アドバンスド静音機能のOn/Offを切り替えます。"},
          {IDC_QUIET_PERSISTENT, L"The drive will keep spinning in low speed to avoid operational and fan noise.",
           L"ディスク挿入後は常に再生に影響のない低い速度でディスクを回転させ騒音を低減します"},
          {IDC_QUIET_STANDARD, L"Quietness priority mode(the drive adjusts disc speed by the situation)",
           L"【工場出荷時設定】ディスク挿入後は再生に影響のない低い速度でディスクを回転させ騒音を低減します。その後、シ"
           L"チュ"
           L"ーエーションに応じて最適な回転速度に調整します。"},
          {IDC_QUIET_PERFORMANCE, L"Performance priority mode(The drive adjusts disc speed by the situation)",
           L"ディスク挿入後は最高速度でディスクを回転させます。その後、シチューエーションに応じて最適な回転速度に調整し"
           L"ます"
           L"。"},
          {IDC_READ_ON, L"Switches the \"VeriTrack\" On/Off.", L"ベリトラック機能のOn/Offを切り替えます。"},
          {IDC_READ_PERFECT, L"At the read error after several retrys,  the error status is returned.",
           L"リードエラーが発生した場合、一定回数再読み取りを行います。それでも読み取り出来なかった場合はリードエラーで"
           L"読み"
           L"取り動作を停止します。"},
          {IDC_READ_MASTER, L"At the read error after several retrys,  the interpolate data is returned.",
           L"リードエラーが発生した場合、一定回数再読み取りを行います。それでも読み取り出来なかった場合はデータの補間を"
           L"して"
           L"読み取り動作を継続します。"},
          {IDC_REAL_TIME, L"This feature optimally control not to interrupt the sound while streaming.",
           L"ストリーミング再生時に音途切れが発生しないように最適な制御を行ないます。\r\n※本機能を利用するにはアドバン"
           L"スド"
           L"静音機能を有効にする必要があります。"},
      });
}

TEST_F(SettingsPage, EveryMessageForThePageOrItsControlsIsRelayedToTheTip) {
  Start();
  ExpectRelayedToPageTip(Page(), {
                                     {Item(IDC_QUIET_ON), WM_MOUSEMOVE, 0, MAKELPARAM(3, 4), 11, {}},
                                     {Item(IDC_READ_MASTER), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6), 12, {}},
                                     {Page(), WM_MOUSEMOVE, 0, MAKELPARAM(7, 8), 13, {}},
                                     {Item(IDC_QUIET_GROUP), WM_TIMER, 99, 0, 14, {}},
                                 });
}

}  // namespace
}  // namespace norvane::test
