// The main window: the drive list, the tab control with the three pages,
// the system menu's help and About items.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "ui/colours.h"
#include "ui/dialog.h"

namespace norvane {

// True while the Status tab is the selected tab; read by the Status page.
extern bool StatusTabActive;

class CNorvaneDriveUtilityDlg : public ui::CDialogImpl<CNorvaneDriveUtilityDlg> {
 public:
  // Records the window as the application's main window.
  CNorvaneDriveUtilityDlg();
  ~CNorvaneDriveUtilityDlg() override;

  // The application's main window, or null while there is none.
  static CNorvaneDriveUtilityDlg* Instance();

  // Rebuilds the drive list and the letter table from the drives at C..Z and
  // leaves the channel open on the first listed drive (letter 0 with none).
  void ScanDrives();
  // The Settings and Status pages show the drive open in the channel, as
  // after the user picked it in the list.
  void RefreshPages() const;

  // The busy state of a bus power check: while set, the tab control refuses
  // to change the tab. The Utility page also disables the drive list for it.
  bool BusyLock() const { return m_busyLock; }
  void SetBusyLock(bool busy) { m_busyLock = busy; }
  const ui::CWindow& DriveList() const { return m_driveList; }

  // The drive letter of list entry `index`; 0 outside the table.
  char LetterAt(int index) const;
  std::size_t PageCount() const { return m_pages.size(); }

  static std::span<const ui::MessageEntry<CNorvaneDriveUtilityDlg>> MessageTable();

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  void PostNcDestroy() override;

 private:
  LRESULT OnSysCommand(const ui::Message& message);
  LRESULT OnPaint(const ui::Message& message);
  LRESULT OnQueryDragIcon(const ui::Message& message);
  LRESULT OnTabChanging(const ui::Message& message);
  LRESULT OnTabChange(const ui::Message& message);
  LRESULT OnDriveSelected(const ui::Message& message);
  LRESULT OnCtlColor(const ui::Message& message);
  LRESULT OnDrawItem(const ui::Message& message);

  void ExtendSystemMenu() const;
  void CreatePages();
  template <class Page>
  void AddPage(const wchar_t* label);
  void PlacePages() const;
  void ShowPage(std::size_t index) const;
  void PaintMinimised() const;
  HWND Tabs() const;

  HICON m_icon;
  std::vector<std::unique_ptr<ui::CDialog>> m_pages;  // in tab order; null for a page that could not be made
  std::array<std::uint8_t, 256> m_letters{};
  bool m_busyLock = false;
  ui::CButtonFaceBrush m_backgroundBrush;
  ui::CWindow m_driveList;
  ui::CWindow m_message;
};

}  // namespace norvane
