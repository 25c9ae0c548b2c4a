#include "pages/status_page.h"

#include <string>

#include "app/main_window.h"
#include "drive/commands.h"
#include "drive/readings.h"
#include "resource.h"

namespace norvane {
namespace {

CStatusDialog* statusPage = nullptr;

constexpr UINT_PTR kUpdateTimer = 0;
constexpr UINT kUpdatePeriodMs = 1000;
constexpr int kTipWidth = 400;
constexpr COLORREF kFatalText = RGB(255, 0, 0);
constexpr COLORREF kNormalText = RGB(0, 0, 0);

// Shown and hidden together, in this order.
constexpr int kLiveControls[] = {
    IDC_SECTOR_LABEL, IDC_TIME_LABEL, IDC_ERROR_INDICATOR, IDC_LEVEL_TEXT, IDC_SECTOR_COUNT, IDC_TIME_CODE, IDC_CLEAR};

UINT LevelWordString(std::uint8_t level) {
  switch (QualityWordOf(level)) {
    case QualityWord::Perfect: return IDS_LEVEL_PERFECT;
    case QualityWord::Better: return IDS_LEVEL_BETTER;
    case QualityWord::Good: return IDS_LEVEL_GOOD;
    case QualityWord::NotGood: return IDS_LEVEL_NOT_GOOD;
    case QualityWord::Bad: return IDS_LEVEL_BAD;
    default: return IDS_LEVEL_FATAL;
  }
}

}  // namespace

CStatusDialog::CStatusDialog(HWND parent) : CDialogImpl(IDD_STATUS) {
  RegisterIndicatorClass();  // the template holds an indicator control
  CreateChild(parent);
  statusPage = this;
}

CStatusDialog::~CStatusDialog() {
  if (statusPage == this) statusPage = nullptr;
}

CStatusDialog* CStatusDialog::Instance() { return statusPage; }

std::span<const ui::MessageEntry<CStatusDialog>> CStatusDialog::MessageTable() {
  using Self = CStatusDialog;
  static constexpr ui::MessageEntry<Self> table[] = {
      ui::OnMessage<Self>(WM_TIMER, &Self::OnTimer),
      ui::OnCtlColor<Self>(&Self::OnCtlColor),
      ui::OnCommand<Self>(IDC_CLEAR, BN_CLICKED, &Self::OnClear),
  };
  return table;
}

void CStatusDialog::DoDataExchange() { m_indicator.Subclass(GetDlgItem(m_hwnd, IDC_ERROR_INDICATOR)); }

BOOL CStatusDialog::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  m_backgroundBrush.Create();
  SetTimer(kUpdateTimer, kUpdatePeriodMs);
  m_toolTip.Create(m_hwnd);
  m_toolTip.AddTools(m_hwnd, {{IDC_ERROR_INDICATOR, IDS_TIP_INDICATOR},
                              {IDC_SECTOR_COUNT, IDS_TIP_SECTOR_COUNT},
                              {IDC_TIME_CODE, IDS_TIP_TIME_CODE},
                              {IDC_CLEAR, IDS_TIP_CLEAR}});
  m_toolTip.SetMaxTipWidth(kTipWidth);
  RefreshStatusPage();
  return TRUE;
}

bool CStatusDialog::PreTranslateMessage(MSG& msg) {
  m_toolTip.Relay(msg);
  return CDialogImpl::PreTranslateMessage(msg);
}

void CStatusDialog::RefreshStatusPage() {
  const bool supported = ReadRealTimeSupport().supported;
  ShowLiveControls(supported);
  if (supported) {
    SetItemText(IDC_SECTOR_LABEL, ui::LoadResourceString(IDS_SECTOR_LABEL));
    SetItemText(IDC_TIME_LABEL, ui::LoadResourceString(IDS_TIME_LABEL));
    SetItemText(IDC_STATUS_CAPTION, ui::LoadResourceString(IDS_ERROR_INDICATOR));
  } else {
    SetItemText(IDC_STATUS_CAPTION, ui::LoadResourceString(IDS_NO_REAL_TIME_SUPPORT));
  }
}

void CStatusDialog::ShowLiveControls(bool show) const {
  for (int id : kLiveControls) ShowItem(id, show);
}

// Polls only while the Status tab is selected, so that the page sends the
// drive nothing while the user looks at another tab.
LRESULT CStatusDialog::OnTimer(const ui::Message&) {
  if (!StatusTabActive) return 0;
  const QualityReading reading = ReadQuality();
  if (reading.supported) ShowCounters(reading.counters);
  return 0;
}

void CStatusDialog::ShowCounters(const ErrorCounters& counters) {
  const std::uint8_t level = QualityLevel(counters.errorCount, counters.transferredSectorCount);
  m_indicator.SetLevel(level);
  SetItemText(IDC_LEVEL_TEXT, ui::LoadResourceString(LevelWordString(level)));
  // The count is unsigned: 2^31 sectors and more are still positive.
  SetItemText(IDC_SECTOR_COUNT, std::to_wstring(counters.transferredSectorCount));
  const std::string timeCode = FormatTimeCode(counters.lastSectorFrame);
  SetItemText(IDC_TIME_CODE, std::wstring(timeCode.begin(), timeCode.end()));
}

// The next update shows what the drive counts from now on.
LRESULT CStatusDialog::OnClear(const ui::Message&) {
  ClearErrorCounters();
  return 0;
}

LRESULT CStatusDialog::OnCtlColor(const ui::Message& message) {
  if (ui::PrepareButtonFaceColours(m_hwnd, message)) {
    const bool fatal = GetDlgCtrlID(reinterpret_cast<HWND>(message.lParam)) == IDC_LEVEL_TEXT &&
                       m_indicator.Level() == kMaxQualityLevel;
    SetTextColor(reinterpret_cast<HDC>(message.wParam), fatal ? kFatalText : kNormalText);
  }
  return m_backgroundBrush.Answer();
}

}  // namespace norvane
