// The bus power check of the Utility page: with a disc in, the drive measures
// the power its USB port gives it while the page counts down, and the page
// then shows whether it was enough. A drive that was given too little has
// dropped off the bus by then, and the drive list is built anew.
#include <cwchar>
#include <iterator>
#include <string>

#include "drive/channel.h"
#include "drive/commands.h"
#include "drive/readings.h"
#include "pages/drive_in_use.h"
#include "pages/utility_page.h"
#include "resource.h"
#include "ui/message_box.h"

namespace norvane {
namespace {

constexpr UINT_PTR kCountdownTimer = 0;
constexpr UINT kTickMs = 1000;
// The drive has its value after 25 ticks; the tick after them shows the verdict.
constexpr std::uint32_t kMeasurementMs = 25000;

struct VerdictLook {
  UINT textId;
  COLORREF colour;
};

VerdictLook LookOf(PowerVerdict verdict) {
  switch (verdict) {
    case PowerVerdict::NotEnough: return {IDS_POWER_NOT_ENOUGH, RGB(255, 0, 0)};
    case PowerVerdict::SlightlyNotEnough: return {IDS_POWER_SLIGHTLY_NOT_ENOUGH, RGB(255, 130, 0)};
    case PowerVerdict::Enough: break;
  }
  return {IDS_POWER_ENOUGH, RGB(0, 128, 0)};
}

std::wstring CountdownText(std::uint32_t secondsLeft) {
  const std::wstring format = ui::LoadResourceString(IDS_CHECK_COUNTDOWN);
  wchar_t text[128] = {};
  std::swprintf(text, std::size(text), format.c_str(), static_cast<int>(secondsLeft));
  return text;
}

}  // namespace

LRESULT CUtilityDialog::OnRunCheck(const ui::Command&) {
  m_check.emplace(GetParent(m_hwnd), IDS_DOING_POWER_CHECK);
  if (!m_check->Taken()) {
    m_check.reset();
    return 0;
  }
  EnterCheckBusy();
  LockMediaNotification();
  // The tray comes out for the disc only when one is in; an empty drive is
  // simply asked for one. A drive that does not answer at all is not asked
  // for a disc: it has gone, and the list loses it while the check still
  // holds the window.
  const CommandResult before = WaitForDisc();
  if (ReportedGone(before)) {
    EndCheck();
    return 0;
  }
  if (before) OpenTrayForInsert();
  Notify(IDS_INSERT_DISC);
  if (!m_check->StillOnItsDrive()) {
    EndCheck();
    return 0;
  }
  const CommandResult after = WaitForDisc();
  if (!after) {
    if (!ReportedGone(after)) Notify(IDS_NO_DISC);
    EndCheck();
    return 0;
  }
  StopUnit();
  StartPowerCheck();
  m_elapsedMs = 0;
  m_resultColour = RGB(0, 0, 0);
  m_counting = true;
  SetTimer(kCountdownTimer, kTickMs);
  return 0;
}

LRESULT CUtilityDialog::OnCountdownTick(UINT_PTR) {
  // A tick that was already queued when the verdict came finds nothing to do.
  if (m_counting) {
    if (m_elapsedMs < kMeasurementMs) {
      m_elapsedMs += kTickMs;
      m_result.SetText(CountdownText((kMeasurementMs - m_elapsedMs) / kTickMs));
    } else {
      ShowVerdict();
    }
  }
  return Default();
}

void CUtilityDialog::DriveWithdrawn() {
  if (!m_counting) return;
  m_counting = false;
  KillTimer(kCountdownTimer);
  PostMessageW(m_hwnd, kCheckDriveWithdrawn, 0, 0);
}

// The drive is still there until the system has removed it: the window lists
// the drives anew once it has (or opens the drive again if it stays).
LRESULT CUtilityDialog::OnCheckDriveWithdrawn() {
  m_result.SetText(L"");  // the countdown has no verdict to come
  Notify(IDS_DRIVE_NOT_CONNECTED);
  EndCheck();
  return 0;
}

void CUtilityDialog::ShowVerdict() {
  KillTimer(kCountdownTimer);
  const PowerVerdict verdict = ReadPowerMeasurement().verdict;
  if (verdict == PowerVerdict::NotEnough) {
    // The drive has gone from the bus: the window lists what is left, and
    // the other pages show the drive that is now open instead of the lost one.
    m_host.DriveListChanged();
  }
  const VerdictLook look = LookOf(verdict);
  m_resultColour = look.colour;
  m_result.SetText(ui::LoadResourceString(look.textId));
  EndCheck();
}

// A held notification lock helps nobody once the run is over, whether the
// drive is still there or not.
void CUtilityDialog::EndCheck() {
  m_counting = false;
  ReleaseMediaNotification();
  LeaveCheckBusy();
  m_check.reset();
}

void CUtilityDialog::EnterCheckBusy() {
  m_focusBeforeCheck = IsChild(m_hwnd, GetFocus()) != FALSE;
  m_result.SetText(L"");
  EnableButtons(false);
  m_checkUnderWay.emplace(ui::Activity::Kind::BusPowerCheck);
  m_host.HoldBusy();
}

// Disabling the focused button sent the keyboard focus elsewhere (the
// dialog manager picks the tab control): it goes back to Run. The dialog
// manager makes a push button it hands the focus to the default button, and
// nothing takes that back once the focus moves on by mouse: the page has no
// default button, so Run stays a plain one.
void CUtilityDialog::LeaveCheckBusy() {
  EnableButtons(true);
  m_checkUnderWay.reset();
  m_host.ReleaseBusy();
  if (!m_focusBeforeCheck) return;
  FocusItem(IDC_RUN_CHECK);
  SendMessageW(Item(IDC_RUN_CHECK), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
}

void CUtilityDialog::EnableButtons(bool enable) const {
  EnableItems({IDC_RUN_CHECK, IDC_FORCE_EJECT, IDC_EJECT, IDC_RESTORE_DEFAULTS}, enable);
}

void CUtilityDialog::Notify(UINT textId) const { ui::ShowMessageBox(m_hwnd, textId, MB_OK); }

}  // namespace norvane
