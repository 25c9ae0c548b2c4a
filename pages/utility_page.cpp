#include "pages/utility_page.h"

#include "drive/channel.h"
#include "drive/commands.h"
#include "drive/device_io.h"
#include "pages/drive_in_use.h"
#include "resource.h"
#include "ui/message_box.h"

namespace norvane {
namespace {

constexpr int kUtilityTipWidth = 300;
// How long the window waits for the drive to push the tray out after a
// force eject before it takes input again.
constexpr std::uint32_t kForceEjectPauseMs = 1000;

constexpr ui::ToolText kUtilityTools[] = {
    {IDC_RUN_CHECK, IDS_TIP_RUN_CHECK},
    {IDC_RESTORE_DEFAULTS, IDS_TIP_RESTORE_DEFAULTS},
    {IDC_FORCE_EJECT, IDS_TIP_FORCE_EJECT},
};

constexpr ui::ControlText kUtilityCaptions[] = {
    {IDC_CHECK_GROUP, IDS_CHECK_GROUP},
    {IDC_EJECT_GROUP, IDS_EJECT_GROUP},
    {IDC_RUN_CHECK, IDS_RUN_CHECK},
    {IDC_FORCE_EJECT, IDS_FORCE_EJECT},
    {IDC_EJECT, IDS_EJECT},
    {IDC_RESTORE_DEFAULTS, IDS_RESTORE_DEFAULTS},
};

}  // namespace

CUtilityDialog::CUtilityDialog(HWND parent, Host& host)
    : CDialogImpl(IDD_UTILITY, kUtilityTools, kUtilityTipWidth), m_host(host) {
  m_semaphore = UniqueHandle(CreateSemaphoreW(nullptr, 1, 1, nullptr));
  if (!m_semaphore) throw ui::ResourceFailure("the Utility page's semaphore");
  CreateChild(parent);
}

CUtilityDialog::~CUtilityDialog() {
  if (m_counting) ReleaseMediaNotification();
}

std::span<const ui::MessageEntry<CUtilityDialog>> CUtilityDialog::MessageTable() {
  using Self = CUtilityDialog;
  static constexpr ui::MessageEntry<Self> kTable[] = {
      ui::OnCommand(IDC_RUN_CHECK, BN_CLICKED, &Self::OnRunCheck),
      ui::OnTimer(&Self::OnCountdownTick),
      ui::OnMessage(kCheckDriveWithdrawn, &Self::OnCheckDriveWithdrawn),
      ui::OnCommand(IDC_FORCE_EJECT, BN_CLICKED, &Self::OnForceEject),
      ui::OnCommand(IDC_RESTORE_DEFAULTS, BN_CLICKED, &Self::OnRestoreDefaults),
      ui::OnCommand(IDC_EJECT, BN_CLICKED, &Self::OnEject),
  };
  return kTable;
}

void CUtilityDialog::DoDataExchange() { BindControl(m_result, IDC_CHECK_RESULT); }

BOOL CUtilityDialog::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  SetItemTexts(kUtilityCaptions);
  return TRUE;
}

// The result field is drawn in the colour of the check's verdict.
void CUtilityDialog::ColourStaticText(HDC dc, HWND control) const {
  if (control == m_result.Handle()) SetTextColor(dc, m_resultColour);
}

LRESULT CUtilityDialog::OnEject(const ui::Command&) {
  const ShownDriveAction action(GetParent(m_hwnd), IDS_DOING_EJECT);
  if (action.Taken()) ReportedGone(EjectDisc());
  return 0;
}

// Questions and notices are owned by the main window.
LRESULT CUtilityDialog::OnForceEject(const ui::Command&) {
  const ShownDriveAction action(GetParent(m_hwnd), IDS_DOING_FORCE_EJECT);
  if (!action.Taken() || !action.Confirm(IDS_CONFIRM_FORCE_EJECT)) return 0;
  WaitForSingleObject(m_semaphore.Get(), INFINITE);
  const CommandResult sent = ForceEject();
  // The pause is the drive's, so it runs on the drive's clock; a drive that
  // is gone has no tray to push out.
  if (sent.outcome != CommandOutcome::NotDelivered) WaitForDrive(kForceEjectPauseMs);
  ReleaseSemaphore(m_semaphore.Get(), 1, nullptr);
  ReportedGone(sent);
  return 0;
}

LRESULT CUtilityDialog::OnRestoreDefaults(const ui::Command&) {
  const ShownDriveAction action(GetParent(m_hwnd), IDS_DOING_RESTORE);
  if (action.Taken() && action.Confirm(IDS_CONFIRM_RESTORE)) ReportedGone(RestoreFactoryDefaults());
  return 0;
}

bool CUtilityDialog::ReportedGone(const CommandResult& sent) {
  if (sent.outcome != CommandOutcome::NotDelivered) return false;
  Notify(IDS_DRIVE_NOT_CONNECTED);
  m_host.DriveListChanged();
  return true;
}

}  // namespace norvane
