#include "pages/status_page.h"

#include <string>

#include "drive/channel.h"
#include "drive/commands.h"
#include "drive/readings.h"
#include "pages/drive_in_use.h"
#include "resource.h"

namespace norvane {
namespace {

constexpr UINT_PTR kUpdateTimer = 0;
constexpr UINT kUpdatePeriodMs = 1000;
constexpr int kStatusTipWidth = 400;
constexpr COLORREF kFatalText = RGB(255, 0, 0);
constexpr COLORREF kNormalText = RGB(0, 0, 0);

constexpr ui::ToolText kStatusTools[] = {
    {IDC_ERROR_INDICATOR, IDS_TIP_INDICATOR},
    {IDC_SECTOR_COUNT, IDS_TIP_SECTOR_COUNT},
    {IDC_TIME_CODE, IDS_TIP_TIME_CODE},
    {IDC_CLEAR, IDS_TIP_CLEAR},
};

// The read-only edits show values; their labels say what they are.
constexpr ui::AccessibleName kStatusNames[] = {
    {.controlId = IDC_SECTOR_COUNT, .labelId = IDC_SECTOR_LABEL},
    {.controlId = IDC_TIME_CODE, .labelId = IDC_TIME_LABEL},
};

// Shown and hidden together, in this order.
constexpr int kLiveControls[] = {
    IDC_SECTOR_LABEL, IDC_TIME_LABEL, IDC_ERROR_INDICATOR, IDC_LEVEL_TEXT, IDC_SECTOR_COUNT, IDC_TIME_CODE, IDC_CLEAR};

// FILETIME counts 100-ns intervals from 1601; Unix time starts in 1970.
constexpr std::int64_t kUnixEpochIn100ns = 116444736000000000;
constexpr std::int64_t k100nsPerMs = 10000;

std::int64_t SystemWallClock() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const auto intervals =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  return (intervals - kUnixEpochIn100ns) / k100nsPerMs;
}

WallClock wallClock = SystemWallClock;

}  // namespace

void SetWallClock(WallClock clock) { wallClock = clock ? clock : SystemWallClock; }

// The history knows how often the page reads, for how long a reading lasts.
CStatusDialog::CStatusDialog(HWND parent)
    : CDialogImpl(IDD_STATUS, kStatusTools, kStatusTipWidth), m_history(kUpdatePeriodMs) {
  RegisterIndicatorClass();  // the template holds an indicator control
  CreateChild(parent);
}

std::span<const ui::MessageEntry<CStatusDialog>> CStatusDialog::MessageTable() {
  using Self = CStatusDialog;
  static constexpr ui::MessageEntry<Self> kTable[] = {
      ui::OnTimer(&Self::OnTimer),
      ui::OnCommand(IDC_CLEAR, BN_CLICKED, &Self::OnClear),
  };
  return kTable;
}

void CStatusDialog::DoDataExchange() { m_indicator.Subclass(Item(IDC_ERROR_INDICATOR), Item(IDC_STATUS_CAPTION)); }

BOOL CStatusDialog::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  NameControls(kStatusNames);
  SetTimer(kUpdateTimer, kUpdatePeriodMs);
  RefreshStatusPage();
  return TRUE;
}

void CStatusDialog::RefreshStatusPage() {
  // The page is refreshed whenever the window opens another drive.
  if (Channel().letter != m_measuredLetter) StartMeasurement();
  // The support byte comes with the values; the page shows both at once.
  const QualityReading reading = m_tabSelected ? ReadQuality() : QualityReading{};
  const bool supported = m_tabSelected ? reading.supported : ReadRealTimeSupport().supported;
  ShowLiveControls(supported);
  if (supported) {
    SetItemText(IDC_SECTOR_LABEL, ui::LoadResourceString(IDS_SECTOR_LABEL));
    SetItemText(IDC_TIME_LABEL, ui::LoadResourceString(IDS_TIME_LABEL));
    SetItemText(IDC_STATUS_CAPTION, ui::LoadResourceString(IDS_ERROR_INDICATOR));
  } else {
    SetItemText(IDC_STATUS_CAPTION, ui::LoadResourceString(IDS_NO_REAL_TIME_SUPPORT));
  }
  if (m_tabSelected) ShowReading(reading);
}

void CStatusDialog::SetTabSelected(bool selected) {
  const bool becomesSelected = selected && !m_tabSelected;
  m_tabSelected = selected;
  if (!becomesSelected) return;
  ShowReading(ReadQuality());
  // The next update a whole period after this read, not whenever the
  // period that ran while the tab was not selected happens to end.
  SetTimer(kUpdateTimer, kUpdatePeriodMs);
}

void CStatusDialog::ShowLiveControls(bool show) const {
  for (int id : kLiveControls) ShowItem(id, show);
}

// Polls only while the Status tab is selected, so that the page sends the
// drive nothing while the user looks at another tab.
LRESULT CStatusDialog::OnTimer(UINT_PTR) {
  if (!m_tabSelected) return 0;
  ShowReading(ReadQuality());
  return 0;
}

// A read that failed gave no values: the page shows none rather than the
// zeros of the failed read or the values of an earlier one, until a read
// succeeds again. A drive without real-time handling has no values to show.
void CStatusDialog::ShowReading(const QualityReading& reading) {
  if (!reading.read.Complete()) {
    ShowNoValues();
  } else if (reading.supported) {
    ShowCounters(reading);
    KeepReading(reading);
  }
}

// The drive counts from its last Clear or from the start of the play; the
// history keeps what the page showed, reading by reading.
void CStatusDialog::KeepReading(const QualityReading& reading) {
  const ErrorCounters& counters = reading.counters;
  m_history.Add({.wallTimeMs = wallClock(),
                 .level = reading.level,
                 .errorCount = counters.errorCount,
                 .transferredSectors = counters.transferredSectorCount,
                 .lastSectorFrame = counters.lastSectorFrame});
  HistoryChanged();
}

// Readings of another drive, or from before Clear, say nothing of this one.
void CStatusDialog::StartMeasurement() {
  m_measuredLetter = Channel().letter;
  m_history.Clear();
  HistoryChanged();
}

void CStatusDialog::HistoryChanged() const {
  if (m_historyListener) m_historyListener();
}

void CStatusDialog::ShowNoValues() {
  m_indicator.ShowNoLevel();
  for (int id : {IDC_LEVEL_TEXT, IDC_SECTOR_COUNT, IDC_TIME_CODE}) SetItemText(id, L"");
}

void CStatusDialog::ShowCounters(const QualityReading& reading) {
  const ErrorCounters& counters = reading.counters;
  m_indicator.SetLevel(reading.level);
  SetItemText(IDC_LEVEL_TEXT, ui::LoadResourceString(LevelWordString(reading.level)));
  // The count is unsigned: 2^31 sectors and more are still positive.
  SetItemText(IDC_SECTOR_COUNT, std::to_wstring(counters.transferredSectorCount));
  SetItemText(IDC_TIME_CODE, ui::WidenAscii(FormatTimeCode(counters.lastSectorFrame)));
}

// The next update shows what the drive counts from now on.
LRESULT CStatusDialog::OnClear(const ui::Command&) {
  const ShownDriveAction action(GetParent(m_hwnd), IDS_DOING_CLEAR);
  if (action.Taken() && ClearErrorCounters().Succeeded()) StartMeasurement();
  return 0;
}

// "Fatal" is the one level word in red.
void CStatusDialog::ColourStaticText(HDC dc, HWND control) const {
  const bool fatal = GetDlgCtrlID(control) == IDC_LEVEL_TEXT && m_indicator.Level() == kMaxQualityLevel;
  SetTextColor(dc, fatal ? kFatalText : kNormalText);
}

}  // namespace norvane
