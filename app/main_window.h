// The main window: the drive list, the tab control with the three pages,
// the system menu's help, About and quality history items.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/device_watch.h"
#include "drive/device_io.h"
#include "pages/quality_history_window.h"
#include "pages/settings_page.h"
#include "pages/status_page.h"
#include "pages/utility_page.h"
#include "ui/colours.h"
#include "ui/dialog.h"

namespace norvane {

class CNorvaneDriveUtilityDlg : public ui::CDialogImpl<CNorvaneDriveUtilityDlg>, private CUtilityDialog::Host {
 public:
  CNorvaneDriveUtilityDlg();

  // Rebuilds the drive list and the letter table from the drives at C..Z and
  // leaves the channel open on the first listed drive (letter 0 with none).
  void ScanDrives();
  // The Settings and Status pages show the drive open in the channel, as
  // after the user picked it in the list.
  void RefreshPages() const;

  // An optical drive the last scan could not open or talk to, with the
  // system's code for why (0: it gave none).
  struct UnreachableDrive {
    char letter;
    std::uint32_t systemError;
  };
  const std::vector<UnreachableDrive>& UnreachableDrives() const { return m_unreachable; }

  // What the window told the system keeps the session from ending; empty
  // while nothing does.
  const std::wstring& SessionKeptBecause() const { return m_sessionKeptBecause; }

  // The drive letter of list entry `index`; 0 outside the table.
  char LetterAt(int index) const;
  // The drive letter of the entry the drive list shows.
  char ShownLetter() const;

  // The pages, each null while the window has none: with no drive at
  // start-up, for a page the system had no resources for, and once the
  // window is gone.
  CDialogSetting2Lx4* SettingsPage() const { return m_settingsPage.get(); }
  CStatusDialog* StatusPage() const { return m_statusPage.get(); }
  CUtilityDialog* UtilityPage() const { return m_utilityPage.get(); }
  std::size_t PageCount() const;
  // The quality history window while it is open, else null.
  CQualityHistoryWindow* QualityHistoryWindow() const;

  static std::span<const ui::MessageEntry<CNorvaneDriveUtilityDlg>> MessageTable();

  bool PreTranslateMessage(MSG& msg) override;

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  void PostNcDestroy() override;
  bool ClosingEndsTheProgram() const override { return true; }

 private:
  LRESULT OnSysCommand(UINT command);
  LRESULT OnPaint();
  LRESULT OnQueryDragIcon();
  LRESULT OnTabChanging(const NMHDR&);
  LRESULT OnTabChange(const NMHDR&);
  LRESULT OnShowTabOfPage();
  LRESULT OnDriveSelected(const ui::Command&);
  LRESULT OnDriveListClosed(const ui::Command&);
  LRESULT OnCheckShownDrive();
  LRESULT OnReportUnreachableDrives();
  LRESULT OnDeviceChange(const ui::DeviceChange& change);
  LRESULT OnFollowDevices();
  LRESULT OnCtlColor(const ui::ColourRequest& request);
  LRESULT OnDrawItem(const DRAWITEMSTRUCT& item);
  LRESULT OnSysColorChange();
  LRESULT OnQueryEndSession(bool ending, LPARAM reasons);
  LRESULT OnEndSession(bool ending, LPARAM reasons);
  LRESULT OnSessionMayEnd();
  LRESULT OnDpiChanged(const ui::DpiChange& change);
  bool TurnPageByKey(WPARAM key);

  // The Utility page's host.
  void HoldBusy() override;
  void ReleaseBusy() override;
  void DriveListChanged() override;

  // Drives and discs that come and go (device_notifications.cpp).
  // Opens the drive in the channel and watches it.
  void OpenAndWatch(char letter);
  bool IsOpenDrivesVolume(const DEV_BROADCAST_HDR* about) const;
  LRESULT AnswerRemovalQuery();
  void CloseRemovedDrive();
  void FollowVolumeLock(const DEV_BROADCAST_HANDLE& event);
  void TakeBackReleasedDrive();
  bool ConcernsListedOrOpticalDrive(const DEV_BROADCAST_VOLUME& volume) const;
  bool FollowDriveList();
  bool ShowDrivesOrNotice();
  void HidePages();

  void ExtendSystemMenu() const;
  void OpenQualityHistory();
  void FollowHistory() const;
  const QualityHistory* ShownHistory() const;
  void ShowMessage(const std::wstring& text);
  void CreatePages();
  void InsertTabs() const;
  template <class Page, class... Arguments>
  void AddPage(std::unique_ptr<Page>& page, Arguments&... arguments);
  // In tab order; null for a page the window does not have.
  std::array<ui::CDialog*, 3> Pages() const;
  void PlacePages() const;
  void ShowPage(std::size_t index);
  void PaintMinimised() const;
  HWND Tabs() const;

  // Posted when the drive list's drop-down closes: by the time it arrives the
  // list shows the entry it kept, whichever way it was closed.
  static constexpr UINT kCheckShownDrive = WM_APP + 1;
  // Posted when a tab change was refused: the header goes back to the page shown.
  static constexpr UINT kShowTabOfPage = WM_APP + 2;
  // Posted after the start-up scan found drives it could not use: the
  // message shows once the window does.
  static constexpr UINT kReportUnreachableDrives = WM_APP + 3;
  // Posted when a drive or a disc came or went: the work waits for the window.
  static constexpr UINT kFollowDevices = WM_APP + 4;
  // Posted once the change that kept the session from ending is over.
  static constexpr UINT kSessionMayEnd = WM_APP + 5;

  HICON m_icon;
  std::unique_ptr<CDialogSetting2Lx4> m_settingsPage;
  std::unique_ptr<CStatusDialog> m_statusPage;
  std::unique_ptr<CUtilityDialog> m_utilityPage;
  std::unique_ptr<CQualityHistoryWindow> m_historyWindow;  // kept after it closed, until opened again
  std::array<std::uint8_t, 256> m_letters{};
  std::vector<UnreachableDrive> m_unreachable;
  bool m_pagesCreated = false;
  DeviceWatch m_devices;
  std::size_t m_shownTab = 0;  // the tab whose page is shown
  std::wstring m_sessionKeptBecause;
  ui::CButtonFaceBrush m_backgroundBrush;
  ui::CWindow m_driveList;
  ui::CWindow m_message;
};

}  // namespace norvane
