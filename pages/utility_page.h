// The Utility page: the third tab of the main window. It ejects the disc,
// forces it out, restores the factory settings and runs the bus power check
// (bus_power_check.cpp). It holds no drive data of its own; every button acts
// on the drive open in the channel when it is clicked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "ui/colours.h"
#include "ui/dialog.h"
#include "ui/tooltip.h"

namespace norvane {

class CUtilityDialog : public ui::CDialogImpl<CUtilityDialog> {
 public:
  // Creates the page window at once, a hidden child of `parent`, and records
  // the page as the application's one Utility page. Raises
  // ui::ResourceFailure when the system has no semaphore left for it.
  explicit CUtilityDialog(HWND parent);
  // A check still counting down ends with the page: its timer goes with the
  // window and the media change notification is switched back on.
  ~CUtilityDialog() override;

  // The application's Utility page, or null while there is none.
  static CUtilityDialog* Instance();
  static std::span<const ui::MessageEntry<CUtilityDialog>> MessageTable();

  bool PreTranslateMessage(MSG& msg) override;

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;

 private:
  LRESULT OnCtlColor(const ui::Message& message);
  LRESULT OnEject(const ui::Message&);
  LRESULT OnForceEject(const ui::Message&);
  LRESULT OnRestoreDefaults(const ui::Message&);

  // The bus power check.
  LRESULT OnRunCheck(const ui::Message&);
  LRESULT OnCountdownTick(const ui::Message& message);
  void ShowVerdict();
  // Ends a run however it ends: notification back on, page and main window idle.
  void EndCheck();
  // The busy state of a run: the page's buttons and the main window's drive
  // list and tabs are held from Run to the end of the run.
  void EnterCheckBusy();
  void LeaveCheckBusy();
  void HoldForCheck(bool hold);
  // A notice of the check: owned by the page, OK only, no icon.
  void Notify(UINT textId) const;

  HANDLE m_semaphore = nullptr;  // taken around a force eject
  std::uint32_t m_elapsedMs = 0;
  bool m_counting = false;
  bool m_focusBeforeCheck = false;  // whether the keyboard focus was on the page when Run was clicked
  COLORREF m_resultColour = RGB(0, 0, 0);
  ui::CToolTip m_toolTip;
  ui::CButtonFaceBrush m_backgroundBrush;
  ui::CWindow m_result;
};

}  // namespace norvane
