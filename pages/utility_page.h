// The Utility page: the third tab of the main window. It ejects the disc,
// forces it out, restores the factory settings and runs the bus power check
// (bus_power_check.cpp). It holds no drive data of its own; every button acts
// on the drive open in the channel when it is clicked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "drive/command_result.h"
#include "pages/drive_in_use.h"
#include "platform/scoped.h"
#include "ui/activity.h"
#include "ui/page.h"

namespace norvane {

class CUtilityDialog : public ui::CDialogImpl<CUtilityDialog, ui::CPage> {
 public:
  // What the page needs of the window that holds it.
  class Host {
   public:
    // From Run to the end of a bus power check the window stays on this
    // drive (the check's activity keeps the tab); released, it follows the
    // drives that came or went meanwhile.
    virtual void HoldBusy() = 0;
    virtual void ReleaseBusy() = 0;
    // The drive the check measured has gone from the bus: the window lists
    // the drives anew, and its pages show the one open now.
    virtual void DriveListChanged() = 0;

   protected:
    ~Host() = default;
  };

  // Creates the page window at once, a hidden child of `parent`, which is
  // the window `host` stands for. Raises ui::ResourceFailure when the system
  // has no semaphore left for it.
  CUtilityDialog(HWND parent, Host& host);
  // A check still counting down ends with the page: its timer goes with the
  // window and the media change notification is switched back on.
  ~CUtilityDialog() override;

  static std::span<const ui::MessageEntry<CUtilityDialog>> MessageTable();

  // The window let go of the drive so that the system can remove it: a
  // check that is counting down ends as for a drive that no longer answers.
  void DriveWithdrawn();

 protected:
  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  void ColourStaticText(HDC dc, HWND control) const override;

 private:
  LRESULT OnEject(const ui::Command&);
  LRESULT OnForceEject(const ui::Command&);
  LRESULT OnRestoreDefaults(const ui::Command&);

  // The bus power check.
  LRESULT OnRunCheck(const ui::Command&);
  LRESULT OnCountdownTick(UINT_PTR timerId);
  void ShowVerdict();
  LRESULT OnCheckDriveWithdrawn();
  // Posted by DriveWithdrawn, which the system's question reaches: the
  // notice waits until the system has its answer.
  static constexpr UINT kCheckDriveWithdrawn = WM_APP + 1;
  // Ends a run however it ends: notification back on, page and main window idle.
  void EndCheck();
  // The busy state of a run: the page's buttons and the host window are
  // held from Run to the end of the run.
  void EnterCheckBusy();
  void LeaveCheckBusy();
  void EnableButtons(bool enable) const;
  // A notice of the check: owned by the page, OK only, no icon.
  void Notify(UINT textId) const;
  // A command the system could not carry to the drive at all: the drive has
  // gone. The user is told so, and the window lists the drives anew.
  // Answers whether it was so.
  bool ReportedGone(const CommandResult& sent);

  Host& m_host;
  UniqueHandle m_semaphore;                            // taken around a force eject
  std::optional<ShownDriveAction> m_check;             // the drive, from Run to the end of the run
  std::optional<ui::Activity::Entry> m_checkUnderWay;  // holds the window's tabs and drive list meanwhile
  std::uint32_t m_elapsedMs = 0;
  bool m_counting = false;
  bool m_focusBeforeCheck = false;  // whether the keyboard focus was on the page when Run was clicked
  COLORREF m_resultColour = RGB(0, 0, 0);
  ui::CWindow m_result;
};

}  // namespace norvane
