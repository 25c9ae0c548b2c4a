#include "app/main_window.h"

#include <commctrl.h>

#include <cwchar>
#include <iterator>

#include "app/about_dialog.h"
#include "app/help_file.h"
#include "drive/channel.h"
#include "resource.h"
#include "ui/activity.h"
#include "ui/waiting.h"
#include "ui/window.h"

namespace norvane {
namespace {

using Kind = ui::Activity::Kind;

constexpr int kStatusTab = 1;
// Where an owner-drawn tab label starts inside its item.
constexpr int kTabLabelIndentX = 5;
constexpr int kTabLabelIndentY = 3;

void InsertTab(HWND tabs, int index, const wchar_t* label) {
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(label);
  SendMessageW(tabs, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

CNorvaneDriveUtilityDlg::CNorvaneDriveUtilityDlg()
    : CDialogImpl(IDD_NORVANEDRIVEUTILITY_DIALOG), m_icon(LoadIconW(ui::Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

std::span<const ui::MessageEntry<CNorvaneDriveUtilityDlg>> CNorvaneDriveUtilityDlg::MessageTable() {
  using Self = CNorvaneDriveUtilityDlg;
  static constexpr ui::MessageEntry<Self> kTable[] = {
      ui::OnSysCommand(&Self::OnSysCommand),
      ui::OnMessage(WM_PAINT, &Self::OnPaint),
      ui::OnMessage(WM_QUERYDRAGICON, &Self::OnQueryDragIcon),
      ui::OnNotify(IDC_PAGE_TABS, TCN_SELCHANGING, &Self::OnTabChanging),
      ui::OnNotify(IDC_PAGE_TABS, TCN_SELCHANGE, &Self::OnTabChange),
      ui::OnCommand(IDC_DRIVE_LIST, CBN_SELCHANGE, &Self::OnDriveSelected),
      ui::OnCommand(IDC_DRIVE_LIST, CBN_SELENDOK, &Self::OnDriveListClosed),
      ui::OnCommand(IDC_DRIVE_LIST, CBN_SELENDCANCEL, &Self::OnDriveListClosed),
      ui::OnCommand(IDC_DRIVE_LIST, CBN_CLOSEUP, &Self::OnDriveListClosed),
      ui::OnMessage(kCheckShownDrive, &Self::OnCheckShownDrive),
      ui::OnMessage(kShowTabOfPage, &Self::OnShowTabOfPage),
      ui::OnMessage(kReportUnreachableDrives, &Self::OnReportUnreachableDrives),
      ui::OnDeviceChange(&Self::OnDeviceChange),
      ui::OnMessage(kFollowDevices, &Self::OnFollowDevices),
      ui::OnCtlColor(&Self::OnCtlColor),
      ui::OnDrawItem(&Self::OnDrawItem),
      ui::OnMessage(WM_SYSCOLORCHANGE, &Self::OnSysColorChange),
      ui::OnSessionEnd(WM_QUERYENDSESSION, &Self::OnQueryEndSession),
      ui::OnSessionEnd(WM_ENDSESSION, &Self::OnEndSession),
      ui::OnMessage(kSessionMayEnd, &Self::OnSessionMayEnd),
      ui::OnDpiChanged(&Self::OnDpiChanged),
  };
  return kTable;
}

void CNorvaneDriveUtilityDlg::DoDataExchange() {
  BindControl(m_driveList, IDC_DRIVE_LIST);
  BindControl(m_message, IDC_MESSAGE);
}

namespace {

// The drive list and the tab control show no text that names them.
constexpr ui::AccessibleName kNames[] = {
    {.controlId = IDC_DRIVE_LIST, .stringId = IDS_NAME_DRIVE_LIST},
    {.controlId = IDC_PAGE_TABS, .stringId = IDS_NAME_PAGE_TABS},
};

}  // namespace

BOOL CNorvaneDriveUtilityDlg::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  NameControls(kNames);
  ExtendSystemMenu();
  Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
  Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
  m_devices.Listen(m_hwnd, kFollowDevices);
  ScanDrives();
  ShowDrivesOrNotice();
  if (!m_unreachable.empty()) PostMessageW(m_hwnd, kReportUnreachableDrives, 0, 0);
  m_backgroundBrush.Create();
  return TRUE;
}

// The message lies over the tab control, where the pages show: even empty it
// paints its rectangle, and over a page beneath it, whenever the tabs repaint.
// So it is shown only while it says something.
void CNorvaneDriveUtilityDlg::ShowMessage(const std::wstring& text) {
  m_message.SetText(text);
  m_message.Show(!text.empty());
}

void CNorvaneDriveUtilityDlg::PostNcDestroy() {
  m_devices.Stop();
  m_historyWindow.reset();  // it shows the Status page's history
  m_settingsPage.reset();
  m_statusPage.reset();
  m_utilityPage.reset();
}

void CNorvaneDriveUtilityDlg::ExtendSystemMenu() const {
  HMENU menu = GetSystemMenu(m_hwnd, FALSE);
  const std::wstring aboutText = ui::LoadResourceString(IDS_ABOUTBOX);
  if (!menu || aboutText.empty()) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_HELP, UserLocaleIsJapanese() ? L"ヘルプの表示" : L"HELP");
  AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, aboutText.c_str());
  AppendMenuW(menu, MF_STRING, IDM_QUALITY_HISTORY, ui::LoadResourceString(IDS_QUALITY_HISTORY).c_str());
}

// One window at most: asked again, the open one comes to the front.
void CNorvaneDriveUtilityDlg::OpenQualityHistory() {
  if (CQualityHistoryWindow* open = QualityHistoryWindow()) {
    SetForegroundWindow(open->Handle());
    return;
  }
  m_historyWindow = std::make_unique<CQualityHistoryWindow>(m_hwnd, ShownHistory());
}

CQualityHistoryWindow* CNorvaneDriveUtilityDlg::QualityHistoryWindow() const {
  return m_historyWindow && m_historyWindow->Handle() ? m_historyWindow.get() : nullptr;
}

// Without the Status page there are no readings to show.
const QualityHistory* CNorvaneDriveUtilityDlg::ShownHistory() const {
  return m_statusPage ? &m_statusPage->History() : nullptr;
}

void CNorvaneDriveUtilityDlg::FollowHistory() const {
  if (CQualityHistoryWindow* open = QualityHistoryWindow()) open->ShowHistory(ShownHistory());
}

HWND CNorvaneDriveUtilityDlg::Tabs() const { return Item(IDC_PAGE_TABS); }

void CNorvaneDriveUtilityDlg::CreatePages() {
  m_pagesCreated = true;
  InsertTabs();
  AddPage(m_settingsPage);
  AddPage(m_statusPage);
  if (m_statusPage) m_statusPage->SetHistoryListener([this] { FollowHistory(); });
  AddPage(m_utilityPage, static_cast<CUtilityDialog::Host&>(*this));
  PlacePages();
  ShowPage(0);
}

void CNorvaneDriveUtilityDlg::InsertTabs() const {
  static constexpr const wchar_t* kLabels[] = {L"  Setting  ", L"  Status  ", L"  Utility  "};
  for (int i = 0; i < static_cast<int>(std::size(kLabels)); ++i) InsertTab(Tabs(), i, kLabels[i]);
}

// The tabs go and the pages hide; the keyboard focus must not stay in one.
void CNorvaneDriveUtilityDlg::HidePages() {
  SendMessageW(Tabs(), TCM_DELETEALLITEMS, 0, 0);
  for (ui::CDialog* page : Pages()) {
    HWND focus = GetFocus();
    if (page && focus && (focus == page->Handle() || IsChild(page->Handle(), focus))) SetFocus(m_driveList.Handle());
    if (page) page->Show(false);
  }
  if (m_statusPage) m_statusPage->SetTabSelected(false);
  m_shownTab = 0;
}

// A page the system has no resources for stays out: its tab shows nothing,
// and the rest of the window goes on working.
template <class Page, class... Arguments>
void CNorvaneDriveUtilityDlg::AddPage(std::unique_ptr<Page>& page, Arguments&... arguments) {
  try {
    page = std::make_unique<Page>(m_hwnd, arguments...);
  } catch (const ui::ResourceFailure&) {
    page.reset();
  }
}

std::array<ui::CDialog*, 3> CNorvaneDriveUtilityDlg::Pages() const {
  return {m_settingsPage.get(), m_statusPage.get(), m_utilityPage.get()};
}

std::size_t CNorvaneDriveUtilityDlg::PageCount() const {
  std::size_t count = 0;
  for (const ui::CDialog* page : Pages()) count += page != nullptr;
  return count;
}

void CNorvaneDriveUtilityDlg::PlacePages() const {
  HWND tabs = Tabs();
  RECT area;
  GetWindowRect(tabs, &area);
  MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&area), 2);
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  for (const ui::CDialog* page : Pages()) {
    if (page) MoveWindow(page->Handle(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
}

// The keyboard focus never stays in a page that is hidden (Ctrl+Tab turns
// the page from inside it): it goes to the tabs. A key typed into a hidden
// control would reach nothing the user sees, and the dialog manager's search
// for a mnemonic never comes back to it.
void CNorvaneDriveUtilityDlg::ShowPage(std::size_t index) {
  m_shownTab = index;
  const std::array<ui::CDialog*, 3> pages = Pages();
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (!pages[i] || i == index) continue;
    HWND focus = GetFocus();
    if (focus && (focus == pages[i]->Handle() || IsChild(pages[i]->Handle(), focus))) {
      Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Tabs()), TRUE);
    }
  }
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (pages[i]) pages[i]->Show(i == index);
  }
}

// While a check holds the window, or the window waits for the drive, the
// shown page stays (a tab change cannot be put off: its notification points
// into the sender's memory), and so does its tab header. A tab control may
// move its selection on the arrow keys even when the change is refused, and
// without a word after it: the header is put back once the key has been
// handled.
LRESULT CNorvaneDriveUtilityDlg::OnTabChanging(const NMHDR&) {
  if (!ui::Activity::Now().MustKeepThePage()) return FALSE;
  PostMessageW(m_hwnd, kShowTabOfPage, 0, 0);
  return TRUE;
}

LRESULT CNorvaneDriveUtilityDlg::OnTabChange(const NMHDR&) {
  if (ui::Activity::Now().MustKeepThePage()) return OnShowTabOfPage();
  const auto index = static_cast<int>(SendMessageW(Tabs(), TCM_GETCURSEL, 0, 0));
  ShowPage(static_cast<std::size_t>(index));
  if (m_statusPage) m_statusPage->SetTabSelected(index == kStatusTab);
  // The tab control repaints its whole face after a turn, the page's area
  // too, and the page lies beneath it: what the page painted meanwhile (the
  // Status page's first reading) is painted again after the tabs.
  const std::array<ui::CDialog*, 3> pages = Pages();
  if (index >= 0 && static_cast<std::size_t>(index) < pages.size() && pages[static_cast<std::size_t>(index)]) {
    RedrawWindow(pages[static_cast<std::size_t>(index)]->Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  }
  return 0;
}

// Enter and Escape end the window as its default and cancel buttons. While a
// check runs the keyboard focus is left on the window's own controls (the
// page's buttons are disabled), where a key meant for the check would end
// the program: the keys do nothing then. The close box, Alt+F4 and the
// system menu still close it.
bool CNorvaneDriveUtilityDlg::PreTranslateMessage(MSG& msg) {
  const bool enterOrEscape = (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
                             (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
  const bool ours = msg.hwnd == m_hwnd || IsChild(m_hwnd, msg.hwnd);
  if (ui::Activity::Now().Inside(Kind::BusPowerCheck) && enterOrEscape && ours) return true;
  if (ours && msg.message == WM_KEYDOWN && TurnPageByKey(msg.wParam)) return true;
  return CDialogImpl::PreTranslateMessage(msg);
}

// Ctrl+Tab and Ctrl+PgDn turn to the next page, Ctrl+Shift+Tab and Ctrl+PgUp
// to the previous one, from wherever the focus is, as in every window with
// tabs; never while a check holds the window. Answers whether the key was one
// of them.
bool CNorvaneDriveUtilityDlg::TurnPageByKey(WPARAM key) {
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0) return false;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  int step = 0;
  if (key == VK_TAB) step = shift ? -1 : 1;
  if (key == VK_NEXT && !shift) step = 1;
  if (key == VK_PRIOR && !shift) step = -1;
  if (step == 0) return false;
  const auto count = static_cast<int>(SendMessageW(Tabs(), TCM_GETITEMCOUNT, 0, 0));
  if (ui::Activity::Now().Inside(Kind::BusPowerCheck) || count == 0) return true;
  const int index = (static_cast<int>(m_shownTab) + step + count) % count;
  SendMessageW(Tabs(), TCM_SETCURSEL, index, 0);
  OnTabChange(NMHDR{});
  return true;
}

LRESULT CNorvaneDriveUtilityDlg::OnShowTabOfPage() {
  SendMessageW(Tabs(), TCM_SETCURSEL, m_shownTab, 0);
  return 0;
}

LRESULT CNorvaneDriveUtilityDlg::OnSysCommand(UINT command) {
  switch (command) {
    case IDM_ABOUTBOX: {
      CAboutDlg about;
      about.DoModal(m_hwnd);
      return 0;
    }
    case IDM_HELP: OpenHelpFile(); return 0;
    case IDM_QUALITY_HISTORY: OpenQualityHistory(); return 0;
    default: return Default();
  }
}

// Logging off, shutting down, or an installer's Restart Manager closing the
// program for an upgrade: a change the drive is in the middle of (a settings
// sequence, a factory reset, a bus power check) keeps the session from
// ending, saying what it does, until it is over; anything else lets it end.
LRESULT CNorvaneDriveUtilityDlg::OnQueryEndSession(bool, LPARAM) {
  const UINT doing = ui::Activity::Now().WhatIsUnderWay();
  if (doing == 0) return TRUE;
  m_sessionKeptBecause = ui::LoadResourceString(doing);
  ShutdownBlockReasonCreate(m_hwnd, m_sessionKeptBecause.c_str());
  ui::Activity::Now().PutOff(m_hwnd, kSessionMayEnd);
  return FALSE;
}

LRESULT CNorvaneDriveUtilityDlg::OnSessionMayEnd() {
  ShutdownBlockReasonDestroy(m_hwnd);
  m_sessionKeptBecause.clear();
  return 0;
}

// The process may be ended at any moment once this returns: the drive is let
// go now, and the window ends as if closed. A change still under way (the
// user ended the session anyway) is left to the end the system gives it.
LRESULT CNorvaneDriveUtilityDlg::OnEndSession(bool ending, LPARAM) {
  const ui::Activity& now = ui::Activity::Now();
  if (!ending || now.Inside(Kind::Action)) return 0;
  if (now.Inside(Kind::DriveCall)) ui::EndTheProgramInsideADriveCall();
  m_devices.Stop();
  ReleaseMediaNotification();
  CloseDrive();
  EndDialog(IDCANCEL);
  return 0;
}

LRESULT CNorvaneDriveUtilityDlg::OnPaint() {
  if (!IsIconic(m_hwnd)) return Default();
  PaintMinimised();
  return 0;
}

void CNorvaneDriveUtilityDlg::PaintMinimised() const {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hwnd, &paint);
  Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
  RECT client;
  GetClientRect(m_hwnd, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_icon);
  EndPaint(m_hwnd, &paint);
}

LRESULT CNorvaneDriveUtilityDlg::OnQueryDragIcon() { return reinterpret_cast<LRESULT>(m_icon); }

LRESULT CNorvaneDriveUtilityDlg::OnCtlColor(const ui::ColourRequest& request) {
  // Only static controls get a brush of ours; for the rest the answer 0 lets
  // the dialog manager colour them.
  return ui::PrepareButtonFaceColours(m_hwnd, request) ? m_backgroundBrush.Answer() : 0;
}

// A theme change (a high-contrast one among them) reaches top-level windows
// only: the window's brush, the pages and the controls hear of it here.
LRESULT CNorvaneDriveUtilityDlg::OnSysColorChange() {
  m_backgroundBrush.Create();
  ui::PassOnColourChange(m_hwnd);
  return 0;
}

// On a monitor of another scale factor the window and its pages lie out
// anew for its DPI, and the pages fill the tabs' new display area.
LRESULT CNorvaneDriveUtilityDlg::OnDpiChanged(const ui::DpiChange& change) {
  FollowDpiChange(change);
  PlacePages();
  return 0;
}

LRESULT CNorvaneDriveUtilityDlg::OnDrawItem(const DRAWITEMSTRUCT& item) {
  wchar_t label[64] = {};
  TCITEMW tab{};
  tab.mask = TCIF_TEXT;
  tab.pszText = label;
  tab.cchTextMax = static_cast<int>(std::size(label));
  SendMessageW(Tabs(), TCM_GETITEMW, item.itemID, reinterpret_cast<LPARAM>(&tab));
  SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
  SetBkMode(item.hDC, TRANSPARENT);
  TextOutW(item.hDC, item.rcItem.left + kTabLabelIndentX, item.rcItem.top + kTabLabelIndentY, label,
           static_cast<int>(wcslen(label)));
  return TRUE;
}

}  // namespace norvane
