// The main window on emulated drives: discovery, the drive list, the pages,
// the tabs, the system menu, the help file and the About box.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/help_file.h"
#include "app/main_window.h"
#include "drive/channel.h"
#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "ui/activity.h"
#include "ui/waiting.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

// The models with their INQUIRY texts written out, so that the expected
// labels below can be read off them: vendor (8), product (16), revision (4),
// vendor-specific (the label takes 9 of its bytes).
emu::DriveModel QuietModel() {
  emu::DriveModel model = emu::QuietDriveModel();
  model.vendor = "NORVANE ";
  model.product = "BD-RE QDM-LT58  ";
  model.revision = "1.06";
  model.vendorSpecific = "2026/10/05  ";
  model.identity = "KTV 3364QR27";
  return model;
}

emu::DriveModel GeneralModel() {
  emu::DriveModel model = emu::GeneralDriveModel();
  model.vendor = "NORVANE ";
  model.product = "BD-RE NBX-2400  ";
  model.revision = "1.02";
  model.vendorSpecific = "2025/04/18  ";
  model.identity = "KTV 3364GENERAL";
  return model;
}

const std::wstring kQuietLabelE = L"E : NORVANE BD-RE QDM-LT58  1.062026/10/0";
const std::wstring kGeneralLabelG = L"G : NORVANE BD-RE NBX-2400  1.022025/04/1";

std::wstring TabLabel(HWND tabs, int index) {
  wchar_t text[64] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = static_cast<int>(std::size(text));
  SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

class MainWindow : public MainWindowTest {
 protected:
  std::vector<HWND> Pages() const {
    return {m_window->SettingsPage()->Handle(), m_window->StatusPage()->Handle(), m_window->UtilityPage()->Handle()};
  }
  std::vector<bool> PageVisibility() const {
    std::vector<bool> visible;
    for (HWND page : Pages()) visible.push_back(IsWindowVisible(page) != FALSE);
    return visible;
  }
  bool StatusTabSelected() const { return m_window->StatusPage()->TabSelected(); }
};

TEST_F(MainWindow, RunsInTheLanguageOfTheUserLocale) {
  EXPECT_EQ(GetUserDefaultLCID(), JapaneseRun() ? 0x0411u : 0x0409u);
}

TEST_F(MainWindow, ListsSupportedDrivesInLetterOrderAndOpensTheFirst) {
  m_devices.Attach('G', GeneralModel());
  m_devices.Attach('E', QuietModel());
  m_devices.Attach('D', emu::ForeignDriveModel());
  emu::DriveModel otherIdentity = QuietModel();
  otherIdentity.identity = "KTV 3364QR28";
  m_devices.Attach('F', otherIdentity);
  Start();

  EXPECT_EQ(ComboTexts(Control(IDC_DRIVE_LIST)), (std::vector<std::wstring>{kQuietLabelE, kGeneralLabelG}));
  EXPECT_EQ(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(m_window->LetterAt(0), 'E');
  EXPECT_EQ(m_window->LetterAt(1), 'G');
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_NE(Channel().device, kNoDevice);
  EXPECT_EQ(m_devices.OpenHandleCount(), 1) << "every probe closed its handle";

  HWND tabs = Control(IDC_PAGE_TABS);
  ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(TabLabel(tabs, 0), L"  Setting  ");
  EXPECT_EQ(TabLabel(tabs, 1), L"  Status  ");
  EXPECT_EQ(TabLabel(tabs, 2), L"  Utility  ");
  EXPECT_EQ(m_window->PageCount(), 3u);
  EXPECT_EQ(PageVisibility(), (std::vector<bool>{true, false, false}));
  EXPECT_FALSE(StatusTabSelected());
  EXPECT_EQ(WindowText(Control(IDC_MESSAGE)), L"");
  EXPECT_EQ(WindowText(Main()), L"Norvane BD Drive Utility");

  // The pages fill the tab control's display area.
  RECT area;
  GetWindowRect(tabs, &area);
  MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&area), 2);
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (HWND page : Pages()) {
    EXPECT_EQ(GetParent(page), Main());
    RECT placed;
    GetWindowRect(page, &placed);
    MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_TRUE(EqualRect(&placed, &area));
  }

  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Main(), WM_GETICON, ICON_BIG, 0)), icon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Main(), WM_QUERYDRAGICON, 0, 0)), icon);
}

// Only letters the system reports as CD/DVD drives are opened: a disk or a
// network share gets nothing. An optical drive the program may not use
// (held by another program, or refused to this user) is named once, after
// the scan, with the likely causes; the drives it could use are listed. A
// letter that takes no pass-through at all (a mounted image, a virtual
// drive) is no drive of ours: nothing the user could do would change that.
TEST_F(MainWindow, ScanReachesOnlyOpticalDrivesAndNamesTheOnesItCannotUse) {
  m_devices.AddOtherLetter('C', emu::EmulatedDevices::OtherKind::FixedDisk);
  m_devices.AddOtherLetter('Z', emu::EmulatedDevices::OtherKind::NetworkShare);
  m_devices.Attach('E', QuietModel());
  m_devices.Attach('F', QuietModel());
  m_devices.Attach('G', GeneralModel());
  m_devices.AddOpticalLetterWithoutPassThrough('H', ERROR_NOT_SUPPORTED);
  m_devices.AddOpticalLetterWithoutPassThrough('I', ERROR_INVALID_FUNCTION);
  m_devices.LockForAnotherProgram('F', true);
  m_devices.DenyOpens('G', true);
  MessageBoxSeen seen;
  WhileAnswering(
      nullptr,
      [&](HWND box) {
        seen = InspectMessageBox(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      },
      [&] {
        Start();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
      });
  EXPECT_EQ(m_devices.ContactsWithOtherLetters(), 0) << "a disk or a share was opened";
  EXPECT_EQ(ComboTexts(Control(IDC_DRIVE_LIST)), (std::vector<std::wstring>{kQuietLabelE}));
  ASSERT_EQ(m_window->UnreachableDrives().size(), 2u);
  EXPECT_EQ(m_window->UnreachableDrives()[0].letter, 'F');
  EXPECT_EQ(m_window->UnreachableDrives()[0].systemError, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(m_window->UnreachableDrives()[1].letter, 'G');
  EXPECT_EQ(m_window->UnreachableDrives()[1].systemError, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_NE(seen.text.find(L"F:"), std::wstring::npos);
  EXPECT_NE(seen.text.find(L"G:"), std::wstring::npos);
  EXPECT_EQ(seen.text.find(L"E:"), std::wstring::npos) << "E: was used";
  EXPECT_EQ(seen.text.find(L"H:"), std::wstring::npos) << "an image named as a drive the user cannot use";
  EXPECT_EQ(seen.text.find(L"I:"), std::wstring::npos) << "a virtual drive named as one the user cannot use";
  const std::wstring causes = UserLocaleIsJapanese() ? L"他のプログラム" : L"Another program may be using the drive";
  EXPECT_NE(seen.text.find(causes), std::wstring::npos);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_EQ(seen.owner, Main());
}

TEST_F(MainWindow, LettersThatTakeNoPassThroughAreListedNowhere) {
  m_devices.Attach('E', QuietModel());
  m_devices.AddOpticalLetterWithoutPassThrough('H', ERROR_NOT_SUPPORTED);
  m_devices.AddOpticalLetterWithoutPassThrough('I', ERROR_INVALID_FUNCTION);
  Start();
  // The report of drives it cannot use would come once the window runs.
  EXPECT_FALSE(ShowsADialog(Main(), [&] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
  }));
  EXPECT_TRUE(m_window->UnreachableDrives().empty());
  EXPECT_EQ(ComboTexts(Control(IDC_DRIVE_LIST)), (std::vector<std::wstring>{kQuietLabelE}));
}

// A drive that holds a command for as long as it likes never stops the
// window: it keeps answering what is sent to it, and a click sent meanwhile
// starts nothing inside the command.
TEST_F(MainWindow, ACommandTheDriveHoldsLeavesTheWindowAnswering) {
  m_devices.Attach('E', QuietModel());
  Start();
  ShowWindow(Main(), SW_SHOW);
  SelectTab(2);
  m_devices.HoldAnswers('E');
  m_devices.Drive('E')->ClearLog();
  std::atomic<bool> released{false}, heldInside{false};
  std::atomic<int> answered{0}, late{0};
  std::atomic<DWORD> slowest{0};
  // A frozen window misses this by as long as the drive holds it; a busy
  // machine may hold the window's thread back for a moment.
  constexpr DWORD kAnswerWithinMs = 1000;
  constexpr int kMessages = 40;
  HWND eject = GetDlgItem(m_window->UtilityPage()->Handle(), IDC_EJECT);
  std::thread probe([&] {
    // Inside the command, and the window held as in the waits.
    if (m_devices.WaitForHeldCommand(std::chrono::seconds(60))) {
      for (int waited = 0; IsWindowEnabled(Main()) && waited < 60000; waited += 10) ::Sleep(10);
      heldInside = !IsWindowEnabled(Main());
      PostMessageW(eject, BM_CLICK, 0, 0);
      SendMessageTimeoutW(eject, BM_CLICK, 0, 0, SMTO_NORMAL, 200, nullptr);
      for (int sent = 0; sent < kMessages; ++sent) {
        DWORD_PTR result = 0;
        const DWORD start = GetTickCount();
        const bool answer = SendMessageTimeoutW(Main(), WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWithinMs, &result) != 0;
        (answer ? answered : late)++;
        slowest = std::max(slowest.load(), GetTickCount() - start);
        ::Sleep(50);
      }
    }
    released = true;
    m_devices.ReleaseAnswers('E');
  });
  m_window->StatusPage()->RefreshStatusPage();  // one read, held by the drive
  const bool heldUntilReleased = released;
  probe.join();
  std::vector<std::uint8_t> operations;
  for (const emu::LoggedCommand& c : m_devices.Drive('E')->Log()) operations.push_back(c.cdb[0]);
  EXPECT_TRUE(heldUntilReleased) << "the read ended before the drive answered it";
  EXPECT_TRUE(heldInside) << "the window took input during a call the drive held for a minute";
  std::printf("[ measure  ] the window answered %d messages during a held command, the slowest in %lu ms\n",
              answered.load(), static_cast<unsigned long>(slowest.load()));
  EXPECT_EQ(answered, kMessages);
  EXPECT_EQ(late, 0) << "the window left a message unanswered for a second";
  EXPECT_FALSE(operations.empty());
  EXPECT_TRUE(std::all_of(operations.begin(), operations.end(), [](std::uint8_t op) { return op == 0x3C; }))
      << "an action started inside the command: only the Status page's reads go out";
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

TEST_F(MainWindow, WithoutSupportedDriveShowsTheMessageAndNoPages) {
  m_devices.Attach('D', emu::ForeignDriveModel());
  Start();

  EXPECT_EQ(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCOUNT, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(Control(IDC_DRIVE_LIST)));
  EXPECT_EQ(WindowText(Control(IDC_MESSAGE)),
            ForRun(L"The drive is not connected.",
                   L"ドライブが接続されていません。\r\nドライブを接続後、ユーティリティを立ち上げてください。"));
  EXPECT_EQ(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETITEMCOUNT, 0, 0), 0);
  EXPECT_EQ(m_window->PageCount(), 0u);
  EXPECT_EQ(m_window->SettingsPage(), nullptr);
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(Channel().device, kNoDevice);
}

TEST_F(MainWindow, RescanGivesTheSameEntriesAgain) {
  m_devices.Attach('E', QuietModel());
  m_devices.Attach('G', GeneralModel());
  Start();
  SelectDrive(1);
  m_window->ScanDrives();

  EXPECT_EQ(ComboTexts(Control(IDC_DRIVE_LIST)), (std::vector<std::wstring>{kQuietLabelE, kGeneralLabelG}));
  EXPECT_EQ(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(Channel().letter, 'E') << "a scan ends on the first listed drive";
  EXPECT_EQ(m_devices.OpenHandleCount(), 1);
}

TEST_F(MainWindow, RescanAfterTheOnlyDriveIsUnpluggedEmptiesTheList) {
  m_devices.Attach('E', QuietModel());
  Start();
  m_devices.Unplug('E');
  m_window->ScanDrives();

  EXPECT_EQ(SendMessageW(Control(IDC_DRIVE_LIST), CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Channel().letter, 0);
  EXPECT_EQ(Channel().device, kNoDevice);
  EXPECT_EQ(m_window->PageCount(), 3u) << "the pages stay as they are";
}

TEST_F(MainWindow, SelectingADriveOpensItsLetter) {
  m_devices.Attach('E', QuietModel());
  m_devices.Attach('G', GeneralModel());
  Start();

  m_devices.Drive('G')->ClearLog();
  SelectDrive(1);
  EXPECT_EQ(Channel().letter, 'G');
  EXPECT_NE(Channel().device, kNoDevice);
  ASSERT_FALSE(m_devices.Drive('G')->Log().empty()) << "the Settings page reads the newly selected drive";
  EXPECT_EQ(m_devices.Drive('G')->Log().front().cdb[2], 0xF4);
  SelectDrive(0);
  EXPECT_EQ(Channel().letter, 'E');
  EXPECT_EQ(m_devices.OpenHandleCount(), 1) << "the previous drive's handle is closed";
}

// Moving through the open drop-down opens each entry passed over; however
// the drop-down then closes, the drive open is the one the list shows, and
// the pages show it.
TEST_F(MainWindow, TheDriveUsedIsTheDriveTheListShowsAfterTheDropDownCloses) {
  emu::DriveSettings readErrorOn;
  readErrorOn.readErrorHandling = true;
  m_devices.Attach('E', QuietModel()).SetCurrent(readErrorOn);
  m_devices.Attach('G', GeneralModel());
  Start();
  ShowWindow(Main(), SW_SHOW);
  SetForegroundWindow(Main());
  HWND list = Control(IDC_DRIVE_LIST);
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  ASSERT_TRUE(GetComboBoxInfo(list, &parts));
  const auto pump = [&] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
  };
  const auto send = [&](HWND to, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{to, message, wParam, lParam, GetTickCount(), {}};
    m_window->ProcessMessage(msg);
    pump();
  };
  const auto openAndMoveByKey = [&] {
    send(list, WM_KEYDOWN, VK_F4, 0);
    send(list, WM_KEYDOWN, VK_DOWN, 0);
  };
  const auto openAndHover = [&] {
    send(list, WM_KEYDOWN, VK_F4, 0);
    RECT second{};
    SendMessageW(parts.hwndList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    send(parts.hwndList, WM_MOUSEMOVE, 0, MAKELPARAM(second.left + 2, (second.top + second.bottom) / 2));
  };
  const auto clickElsewhere = [&] {
    // Outside the list: on the window's title area, far from the drop-down.
    send(parts.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-300, -300));
    send(parts.hwndList, WM_LBUTTONUP, 0, MAKELPARAM(-300, -300));
  };
  const auto escape = [&] { send(list, WM_KEYDOWN, VK_ESCAPE, 0); };
  const auto enter = [&] { send(list, WM_KEYDOWN, VK_RETURN, 0); };
  const auto byMessage = [&] {
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    pump();
  };
  const struct {
    const char* name;
    std::function<void()> move, close;
  } ways[] = {
      {"keys, a click elsewhere", openAndMoveByKey, clickElsewhere},
      {"keys, Escape", openAndMoveByKey, escape},
      {"keys, Enter", openAndMoveByKey, enter},
      {"hover, a click elsewhere", openAndHover, clickElsewhere},
      {"hover, closed by message", openAndHover, byMessage},
  };
  for (int tab : {0, 1, 2}) {
    SelectTab(tab);
    for (const auto& way : ways) {
      SCOPED_TRACE(testing::Message() << "tab " << tab << ", " << way.name);
      SelectDrive(0);
      ASSERT_EQ(Channel().letter, 'E');
      way.move();
      way.close();
      EXPECT_FALSE(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0));
      const char shown = m_window->LetterAt(static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)));
      EXPECT_EQ(Channel().letter, shown);
      // The Settings page shows the drive shown: E handles read errors, G does not.
      const bool readErrorShown = IsDlgButtonChecked(m_window->SettingsPage()->Handle(), IDC_READ_ON) == BST_CHECKED;
      EXPECT_EQ(readErrorShown, shown == 'E');
    }
  }
}

TEST_F(MainWindow, EscapeOnTheStatusAndUtilityPagesHidesNothing) {
  m_devices.Attach('E', QuietModel());
  Start();
  ShowWindow(Main(), SW_SHOW);
  for (int tab : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "tab " << tab);
    SelectTab(tab);
    HWND page = Pages()[static_cast<std::size_t>(tab)];
    HWND control = GetWindow(page, GW_CHILD);
    MSG escape{control, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    m_window->ProcessMessage(escape);
    EXPECT_TRUE(IsWindowVisible(page));
    EXPECT_TRUE(IsWindowVisible(Main()));
  }
}

TEST_F(MainWindow, TabsSwitchPagesAndTrackTheStatusTab) {
  m_devices.Attach('E', QuietModel());
  Start();

  const struct {
    int tab;
    std::vector<bool> visible;
    bool statusActive;
  } kSteps[] = {
      {1, {false, true, false}, true},
      {2, {false, false, true}, false},
      {0, {true, false, false}, false},
      {1, {false, true, false}, true},
  };
  for (const auto& step : kSteps) {
    SCOPED_TRACE(testing::Message() << "tab " << step.tab);
    SelectTab(step.tab);
    EXPECT_EQ(PageVisibility(), step.visible);
    EXPECT_EQ(StatusTabSelected(), step.statusActive);
  }
}

TEST_F(MainWindow, TabChangesAreRefusedWhileBusySoTheHeaderStaysOnThePageShown) {
  m_devices.Attach('E', QuietModel());
  Start();
  ClickTab(2);
  ASSERT_EQ(PageVisibility(), (std::vector<bool>{false, false, true}));
  {
    const ui::Activity::Entry check(ui::Activity::Kind::BusPowerCheck);
    for (int tab : {1, 0}) {
      SCOPED_TRACE(testing::Message() << "tab " << tab);
      ClickTab(tab);
      EXPECT_EQ(PageVisibility(), (std::vector<bool>{false, false, true}));
      EXPECT_FALSE(StatusTabSelected());
      EXPECT_EQ(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0), 2);
    }
  }
  ClickTab(1);
  EXPECT_EQ(PageVisibility(), (std::vector<bool>{false, true, false}));
  EXPECT_TRUE(StatusTabSelected());
  EXPECT_EQ(SendMessageW(Control(IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0), 1);
}

TEST_F(MainWindow, SystemMenuEndsWithHelpAboutAndQualityHistoryInTheUsersLanguage) {
  m_devices.Attach('E', QuietModel());
  Start();
  HMENU menu = GetSystemMenu(Main(), FALSE);
  const int count = GetMenuItemCount(menu) - 1;  // the quality history's item comes last
  ASSERT_GE(count, 3);

  auto text = [&](int position) {
    wchar_t buffer[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), buffer, static_cast<int>(std::size(buffer)), MF_BYPOSITION);
    return std::wstring(buffer);
  };
  EXPECT_EQ(GetMenuState(menu, static_cast<UINT>(count - 3), MF_BYPOSITION) & MF_SEPARATOR, MF_SEPARATOR);
  EXPECT_EQ(GetMenuItemID(menu, count - 2), IDM_HELP);
  EXPECT_EQ(text(count - 2), ForRun(L"HELP", L"ヘルプの表示"));
  EXPECT_EQ(GetMenuItemID(menu, count - 1), IDM_ABOUTBOX);
  EXPECT_EQ(text(count - 1),
            ForRun(L"Version Information NorvaneDriveUtility(&A)...", L"バージョン情報 NorvaneDriveUtility(&A)..."));
  EXPECT_EQ(GetMenuItemID(menu, count), IDM_QUALITY_HISTORY);
  EXPECT_EQ(text(count), ForRun(L"Quality history", L"品質の履歴"));
}

// This run's help file name for a base name.
std::wstring InRunLanguage(const std::wstring& base) { return base + ForRun(L"_English.chm", L"_Japanese.chm"); }
std::wstring InOtherLanguage(const std::wstring& base) { return base + ForRun(L"_Japanese.chm", L"_English.chm"); }

// Files and folders made for one test, removed after it, the last made first.
class ScratchFiles {
 public:
  ScratchFiles() = default;
  ScratchFiles(const ScratchFiles&) = delete;
  ScratchFiles& operator=(const ScratchFiles&) = delete;
  ~ScratchFiles() {
    for (auto entry = m_made.rbegin(); entry != m_made.rend(); ++entry) {
      if (!DeleteFileW(entry->c_str())) RemoveDirectoryW(entry->c_str());
    }
  }
  void File(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot make the scratch file";
    CloseHandle(file);
    m_made.push_back(path);
  }
  void Folder(const std::wstring& path) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "cannot make the scratch folder";
    m_made.push_back(path);
  }

 private:
  std::vector<std::wstring> m_made;
};

// Opens the help file through the system menu and answers the path the
// shell would have been given. The English and the Japanese run share the
// executable's folder and put help files into it, so they take turns.
class HelpFile : public MainWindowTest {
 protected:
  void SetUp() override {
    m_turn = CreateMutexW(nullptr, FALSE, L"Local\\NorvaneHelpFileTests");
    ASSERT_NE(m_turn, nullptr);
    ASSERT_EQ(WaitForSingleObject(m_turn, 60000), WAIT_OBJECT_0);
    MainWindowTest::SetUp();
    SetHelpFileOpener([this](const std::wstring& path) { m_opened.push_back(path); });
  }
  void TearDown() override {
    SetHelpFileOpener(nullptr);
    MainWindowTest::TearDown();
    m_files.reset();
    ReleaseMutex(m_turn);
    CloseHandle(m_turn);
  }
  void PressHelp() const { SendMessageW(Main(), WM_SYSCOMMAND, IDM_HELP, 0); }

  std::vector<std::wstring> m_opened;
  std::unique_ptr<ScratchFiles> m_files = std::make_unique<ScratchFiles>();
  HANDLE m_turn = nullptr;
};

TEST_F(HelpFile, OpensTheModelsFileOrElseTheGeneralFileOfTheLanguageFromTheExecutablesFolder) {
  enum class Drive { kQuietModel, kOtherModel, kNone };
  const std::wstring quiet = L"QDM-LT58";
  const std::wstring general = L"NorvaneDriveUtility";
  struct Case {
    const char* what;
    Drive drive;
    std::vector<std::wstring> files;          // in the executable's folder
    std::vector<std::wstring> folders;        // in the executable's folder
    std::vector<std::wstring> currentFolder;  // files in the current directory
    std::wstring opened;                      // in the executable's folder
  };
  // One case a line.
  // clang-format off
  const Case cases[] = {
      {"the model's file is there", Drive::kQuietModel, {InRunLanguage(quiet), InRunLanguage(general)}, {}, {},
       InRunLanguage(quiet)},
      {"only the general file is there", Drive::kQuietModel, {InRunLanguage(general)}, {}, {}, InRunLanguage(general)},
      {"no help file at all: the general name all the same", Drive::kQuietModel, {}, {}, {}, InRunLanguage(general)},
      {"the model's file only in the other language", Drive::kQuietModel, {InOtherLanguage(quiet)}, {}, {},
       InRunLanguage(general)},
      {"the model's file only in the current directory", Drive::kQuietModel, {InRunLanguage(general)}, {},
       {InRunLanguage(quiet)}, InRunLanguage(general)},
      {"a folder with the model file's name", Drive::kQuietModel, {}, {InRunLanguage(quiet)}, {},
       InRunLanguage(general)},
      {"a model without a help file of its own", Drive::kOtherModel, {InRunLanguage(quiet)}, {}, {},
       InRunLanguage(general)},
      {"no drive: not the bare suffix", Drive::kNone, {InRunLanguage(L"")}, {}, {}, InRunLanguage(general)},
  };
  // clang-format on

  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring currentFolder = std::wstring(temp) + L"norvane-help-test\\";
  // A failed assertion ends its case only; the clean-up runs after each.
  const auto openHelp = [&](const Case& c) {
    m_files = std::make_unique<ScratchFiles>();
    if (c.drive == Drive::kQuietModel) m_devices.Attach('E', QuietModel());
    if (c.drive == Drive::kOtherModel) m_devices.Attach('G', GeneralModel());
    for (const std::wstring& name : c.files) m_files->File(ExecutableFolder() + name);
    for (const std::wstring& name : c.folders) m_files->Folder(ExecutableFolder() + name);
    m_files->Folder(currentFolder);
    for (const std::wstring& name : c.currentFolder) m_files->File(currentFolder + name);
    ASSERT_TRUE(SetCurrentDirectoryW(currentFolder.c_str()));
    Start();
    m_opened.clear();

    PressHelp();
    EXPECT_EQ(m_opened, (std::vector<std::wstring>{ExecutableFolder() + c.opened}));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    openHelp(c);
    SetCurrentDirectoryW(ExecutableFolder().c_str());
    m_window.reset();
    CloseDrive();
    m_devices.Detach('E');
    m_devices.Detach('G');
  }
}

TEST_F(HelpFile, TheLowFourBitsOfTheCommandAreNotLookedAt) {
  m_devices.Attach('E', QuietModel());
  m_files->File(ExecutableFolder() + InRunLanguage(L"QDM-LT58"));
  Start();
  SendMessageW(Main(), WM_SYSCOMMAND, IDM_HELP | 0x000F, 0);
  EXPECT_EQ(m_opened, (std::vector<std::wstring>{ExecutableFolder() + InRunLanguage(L"QDM-LT58")}));
}

TEST_F(HelpFile, DropsFromAnUnknownModelEveryCharacterAFileNameCannotHold) {
  emu::DriveModel hostile = QuietModel();
  hostile.product = "A/B\\C:D*E?F\"G<H ";  // 16 bytes, the last a space
  hostile.revision = ">I|\x01";
  hostile.vendorSpecific = "J\x1fK\tL";
  m_devices.Attach('E', hostile);
  const std::wstring name = L"NORVANE ABCDEFGH IJKL";
  m_files->File(ExecutableFolder() + InRunLanguage(name));  // a help file of that name is what it looks for
  Start();
  PressHelp();

  EXPECT_EQ(m_opened, (std::vector<std::wstring>{ExecutableFolder() + InRunLanguage(name)}));
}

TEST_F(MainWindow, CloseCommandEndsTheModalRunAndTheWindowTakesItsPagesAlong) {
  m_devices.Attach('E', QuietModel());
  m_window = std::make_unique<CNorvaneDriveUtilityDlg>();
  // Inside the modal run: asks the window to close as its close box does.
  const auto close = [&] { PostMessageW(Main(), WM_SYSCOMMAND, SC_CLOSE, 0); };
  EXPECT_EQ(RunModal(*m_window, {{50, close}}), IDCANCEL);
  EXPECT_EQ(m_window->Handle(), nullptr);
  EXPECT_EQ(m_window->PageCount(), 0u);
  EXPECT_EQ(m_window->SettingsPage(), nullptr);
  EXPECT_EQ(m_window->StatusPage(), nullptr);
  EXPECT_EQ(m_window->UtilityPage(), nullptr);
}

// ---- the session ends ----

// Logging off, shutting down, or Restart Manager closing the program for an
// installer: the system asks every top-level window, then tells it whether
// the session ends.
struct SessionEnd {
  const char* name;
  DWORD reasons;  // the ENDSESSION_ flags, which fill LPARAM's low 32 bits
  BOOL ends;      // what the system tells after asking
  bool windowEnds;
};

TEST_F(MainWindow, AnIdleWindowLetsTheSessionEndAndClosesWithIt) {
  const SessionEnd cases[] = {
      {"log off", ENDSESSION_LOGOFF, TRUE, true},
      {"shut down", 0, TRUE, true},
      {"Restart Manager closes the program", ENDSESSION_CLOSEAPP, TRUE, true},
      {"another program kept the session", ENDSESSION_LOGOFF, FALSE, false},
  };
  for (const SessionEnd& end : cases) {
    SCOPED_TRACE(end.name);
    m_devices.Attach('E', QuietModel());
    m_window = std::make_unique<CNorvaneDriveUtilityDlg>();
    LRESULT answer = -1;
    int handlesAfter = -1;
    const auto endSession = [&] {
      answer = SendMessageW(Main(), WM_QUERYENDSESSION, 0, static_cast<LPARAM>(end.reasons));
      SendMessageW(Main(), WM_ENDSESSION, end.ends, static_cast<LPARAM>(end.reasons));
      // Once the window has answered, the process may be ended at once.
      handlesAfter = m_devices.OpenHandleCount();
      if (!end.windowEnds) PostMessageW(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    };
    EXPECT_EQ(RunModal(*m_window, {{50, endSession}}), IDCANCEL);
    EXPECT_EQ(answer, TRUE);
    EXPECT_EQ(handlesAfter, end.windowEnds ? 0 : 1);
    m_window.reset();
    CloseDrive();
  }
}

// A change under way keeps the session from ending, saying what it does,
// until it is over; the question before it counts, for the answer would
// otherwise come to a window the session has closed.
TEST_F(MainWindow, AChangeUnderWayKeepsTheSessionFromEndingUntilItIsOver) {
  const auto logoff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
  m_devices.Attach('E', QuietModel());
  Start();
  SelectTab(2);
  LRESULT answerDuring = -1;
  std::wstring reason;
  WhileAnswering(
      Main(),
      [&](HWND box) {
        answerDuring = SendMessageW(Main(), WM_QUERYENDSESSION, 0, logoff);
        reason = m_window->SessionKeptBecause();
        SendMessageW(Main(), WM_ENDSESSION, FALSE, logoff);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      },
      [&] { SendMessageW(GetDlgItem(m_window->UtilityPage()->Handle(), IDC_RESTORE_DEFAULTS), BM_CLICK, 0, 0); });
  EXPECT_EQ(answerDuring, FALSE);
  EXPECT_EQ(reason, ForRun(L"Restoring the drive's factory settings.", L"ドライブを工場出荷時の設定に戻しています。"));
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) m_window->ProcessMessage(msg);
  EXPECT_EQ(m_window->SessionKeptBecause(), L"") << "the reason outlived the change";
  EXPECT_EQ(SendMessageW(Main(), WM_QUERYENDSESSION, 0, logoff), TRUE);
  EXPECT_NE(Channel().device, kNoDevice) << "the window let go of the drive for a session that went on";
}

std::vector<std::wstring> ChildTexts(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    texts.push_back(WindowText(child));
  }
  return texts;
}

TEST_F(MainWindow, AboutBoxRunsModallyOverTheMainWindow) {
  m_devices.Attach('E', QuietModel());
  Start();
  std::wstring caption;
  std::vector<std::wstring> texts;
  bool mainEnabled = true;
  WhileAnswering(
      Main(),
      [&](HWND about) {
        caption = WindowText(about);
        texts = ChildTexts(about);
        mainEnabled = IsWindowEnabled(Main()) != FALSE;
        SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
      },
      [&] { SendMessageW(Main(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0); });

  EXPECT_EQ(caption,
            ForRun(L"Version Information Norvane BD Drive Utility", L"バージョン情報 Norvane BD Drive Utility"));
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], L"Norvane BD Drive Utility, Version 1, 0, 0, 6");
  EXPECT_EQ(texts[3], L"OK");
  EXPECT_FALSE(mainEnabled);
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

TEST_F(MainWindow, StaticControlsGetTheButtonFaceBackground) {
  Start();
  HDC dc = CreateCompatibleDC(nullptr);
  SetBkColor(dc, RGB(1, 2, 3));
  const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(Main(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                           reinterpret_cast<LPARAM>(Control(IDC_MESSAGE))));
  EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
  LOGBRUSH colour{};
  ASSERT_EQ(GetObjectW(brush, sizeof colour, &colour), static_cast<int>(sizeof colour));
  EXPECT_EQ(colour.lbStyle, static_cast<UINT>(BS_SOLID));
  EXPECT_EQ(colour.lbColor, GetSysColor(COLOR_BTNFACE));

  const auto other = reinterpret_cast<HBRUSH>(SendMessageW(Main(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                                           reinterpret_cast<LPARAM>(Control(IDC_DRIVE_LIST))));
  EXPECT_NE(other, brush) << "only static controls get the window's own brush";
  DeleteDC(dc);
}

// Renders into a white 32-bit DIB and answers its pixels.
std::vector<DWORD> Render(int width, int height, const std::function<void(HDC)>& draw) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, width, height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  draw(dc);
  GdiFlush();
  std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + width * height);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

TEST_F(MainWindow, OwnerDrawnTabLabelIsItsTextAtFiveThree) {
  m_devices.Attach('E', QuietModel());
  Start();
  const RECT item{10, 4, 110, 28};
  const auto drawn = Render(120, 32, [&](HDC dc) {
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_TAB;
    draw.CtlID = IDC_PAGE_TABS;
    draw.itemID = 1;
    draw.hwndItem = Control(IDC_PAGE_TABS);
    draw.hDC = dc;
    draw.rcItem = item;
    SendMessageW(Main(), WM_DRAWITEM, IDC_PAGE_TABS, reinterpret_cast<LPARAM>(&draw));
  });
  const auto expected = Render(120, 32, [&](HDC dc) { TextOutW(dc, item.left + 5, item.top + 3, L"  Status  ", 10); });
  EXPECT_EQ(drawn, expected);
  EXPECT_NE(expected, Render(120, 32, [](HDC) {})) << "the label draws something";
}

}  // namespace
}  // namespace norvane::test
