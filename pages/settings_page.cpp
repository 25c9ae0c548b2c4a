#include "pages/settings_page.h"

#include "drive/settings.h"
#include "pages/drive_in_use.h"
#include "resource.h"
#include "ui/message_box.h"

namespace norvane {
namespace {

constexpr int kSettingTipWidth = 300;

constexpr ui::ToolText kSettingTools[] = {
    {IDC_QUIET_ON, IDS_TIP_QUIET_ON},
    {IDC_QUIET_PERSISTENT, IDS_TIP_QUIET_PERSISTENT},
    {IDC_QUIET_STANDARD, IDS_TIP_QUIET_STANDARD},
    {IDC_QUIET_PERFORMANCE, IDS_TIP_QUIET_PERFORMANCE},
    {IDC_READ_ON, IDS_TIP_READ_ON},
    {IDC_READ_PERFECT, IDS_TIP_READ_PERFECT},
    {IDC_READ_MASTER, IDS_TIP_READ_MASTER},
    {IDC_REAL_TIME, IDS_TIP_REAL_TIME},
};

constexpr ui::ControlText kControlTexts[] = {
    {IDC_QUIET_PERSISTENT, IDS_QUIET_PERSISTENT},   {IDC_QUIET_STANDARD, IDS_QUIET_STANDARD},
    {IDC_QUIET_PERFORMANCE, IDS_QUIET_PERFORMANCE}, {IDC_SAVE_SETTING, IDS_SAVE_SETTING},
    {IDC_READ_PERFECT, IDS_READ_PERFECT},           {IDC_READ_MASTER, IDS_READ_MASTER},
    {IDC_QUIET_GROUP, IDS_QUIET_FEATURE},           {IDC_EJECT_AT_POWER_ON, IDS_EJECT_AT_POWER_ON},
};

}  // namespace

CDialogSetting2Lx4::CDialogSetting2Lx4(HWND parent) : CDialogImpl(IDD_SETTING, kSettingTools, kSettingTipWidth) {
  CreateChild(parent);
}

std::span<const ui::MessageEntry<CDialogSetting2Lx4>> CDialogSetting2Lx4::MessageTable() {
  using Self = CDialogSetting2Lx4;
  static constexpr ui::MessageEntry<Self> kTable[] = {
      ui::OnCommand(IDC_QUIET_ON, BN_CLICKED, &Self::OnQuietOnClicked),
      ui::OnCommand(IDC_READ_ON, BN_CLICKED, &Self::OnReadOnClicked),
      ui::OnMessage(WM_WINDOWPOSCHANGED, &Self::OnWindowPosChanged),
  };
  return kTable;
}

// "ON" alone does not say what it switches: its group's caption comes first.
constexpr ui::AccessibleName kSettingNames[] = {
    {.controlId = IDC_QUIET_ON, .labelId = IDC_QUIET_GROUP, .withOwnText = true},
    {.controlId = IDC_READ_ON, .labelId = IDC_READ_GROUP, .withOwnText = true},
};

BOOL CDialogSetting2Lx4::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  SetItemTexts(kControlTexts);
  NameControls(kSettingNames);
  RefreshFromDrive();
  return TRUE;
}

bool CDialogSetting2Lx4::PreviewCommand(const ui::Command&) { return ApplyToDrive(); }

// ---- reading the drive ----

void CDialogSetting2Lx4::RefreshFromDrive() {
  const ReportedSettings reported = ReadReportedSettings();
  EnableItem(IDC_QUIET_ON, true);
  ShowQuietMode(reported.quiet);
  ShowReadMode(reported.readMode);
  ShowRealTime(reported);
  SetCheck(IDC_EJECT_AT_POWER_ON, reported.ejectAtPowerOn);
  m_quietOnAtRefresh = CheckState(IDC_QUIET_ON);
  m_realTimeAtRefresh = CheckState(IDC_REAL_TIME);
}

void CDialogSetting2Lx4::ShowQuietMode(QuietModeCode mode) const {
  for (int id : {IDC_QUIET_PERFORMANCE, IDC_QUIET_STANDARD, IDC_QUIET_PERSISTENT, IDC_QUIET_ON}) SetCheck(id, false);
  const bool on = mode != QuietOff;
  EnableItems({IDC_QUIET_PERSISTENT, IDC_QUIET_STANDARD, IDC_QUIET_PERFORMANCE}, on);
  if (!on) return;
  SetCheck(IDC_QUIET_ON, true);
  SetCheck(mode == QuietPersistent    ? IDC_QUIET_PERSISTENT
           : mode == QuietPerformance ? IDC_QUIET_PERFORMANCE
                                      : IDC_QUIET_STANDARD,
           true);
}

void CDialogSetting2Lx4::ShowReadMode(ReadModeCode mode) const {
  for (int id : {IDC_READ_ON, IDC_READ_PERFECT, IDC_READ_MASTER}) SetCheck(id, false);
  EnableItem(IDC_REAL_TIME, false);
  const bool on = mode != ReadModeOff;
  EnableItems({IDC_READ_PERFECT, IDC_READ_MASTER}, on);
  if (!on) return;
  SetCheck(IDC_READ_ON, true);
  SetCheck(mode == ReadModePerfect ? IDC_READ_PERFECT : IDC_READ_MASTER, true);
}

// While read-error handling is off the drive's real-time option is not read:
// the box stays disabled and keeps whatever state it had, which the next
// click sends again.
void CDialogSetting2Lx4::ShowRealTime(const ReportedSettings& reported) const {
  ShowItem(IDC_REAL_TIME, reported.realTimeSupported);
  if (!reported.realTime) return;
  EnableItem(IDC_REAL_TIME, true);
  SetCheck(IDC_REAL_TIME, *reported.realTime);
}

// ---- writing the drive ----

bool CDialogSetting2Lx4::ApplyToDrive() {
  const ShownDriveAction action(GetParent(m_hwnd), IDS_DOING_SETTINGS);
  if (!action.Taken()) {
    // The click has already moved the control: it shows the drive's again.
    RefreshFromDrive();
    return false;
  }
  SettingsChoice choice;
  choice.quiet = QuietModeOfControls();
  choice.readMode = ReadModeOfControls();
  choice.realTime = IsChecked(IDC_REAL_TIME);
  choice.ejectAtPowerOn = IsChecked(IDC_EJECT_AT_POWER_ON);
  choice.save = IsChecked(IDC_SAVE_SETTING);
  choice.quietSwitched = CheckState(IDC_QUIET_ON) != m_quietOnAtRefresh;
  choice.realTimeSwitched = CheckState(IDC_REAL_TIME) != m_realTimeAtRefresh;
  // Confirmations are owned by the main window.
  const std::optional<CommandResult> applied = ApplySettings(choice, [&action](SettingsConfirmation confirmation) {
    return action.Confirm(confirmation == SettingsConfirmation::EnableQuietDrive ? IDS_CONFIRM_QUIET_ON
                                                                                 : IDS_CONFIRM_REAL_TIME_OFF);
  });
  RefreshFromDrive();
  return applied.has_value();
}

QuietModeCode CDialogSetting2Lx4::QuietModeOfControls() const {
  if (!IsChecked(IDC_QUIET_ON)) return QuietOff;
  if (IsChecked(IDC_QUIET_PERSISTENT)) return QuietPersistent;
  if (IsChecked(IDC_QUIET_STANDARD)) return QuietStandard;
  if (IsChecked(IDC_QUIET_PERFORMANCE)) return QuietPerformance;
  return QuietStandard;
}

ReadModeCode CDialogSetting2Lx4::ReadModeOfControls() const {
  if (!IsChecked(IDC_READ_ON)) return ReadModeOff;
  if (IsChecked(IDC_READ_PERFECT)) return ReadModePerfect;
  if (IsChecked(IDC_READ_MASTER)) return ReadModeMaster;
  return ReadModePerfect;
}

// ---- handlers ----

LRESULT CDialogSetting2Lx4::OnQuietOnClicked(const ui::Command&) {
  EnableByButtonState(IDC_QUIET_ON, {IDC_QUIET_PERSISTENT, IDC_QUIET_STANDARD, IDC_QUIET_PERFORMANCE});
  return 0;
}

LRESULT CDialogSetting2Lx4::OnReadOnClicked(const ui::Command&) {
  EnableByButtonState(IDC_READ_ON, {IDC_READ_PERFECT, IDC_READ_MASTER, IDC_REAL_TIME});
  return 0;
}

void CDialogSetting2Lx4::EnableByButtonState(int buttonId, std::initializer_list<int> controls) const {
  const LRESULT state = SendDlgItemMessageW(m_hwnd, buttonId, BM_GETSTATE, 0, 0);
  EnableItems(controls, (state & 3) == BST_CHECKED);
}

LRESULT CDialogSetting2Lx4::OnWindowPosChanged() {
  const LRESULT result = Default();
  RefreshFromDrive();
  return result;
}

}  // namespace norvane
