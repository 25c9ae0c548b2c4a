#include "pages/quality_history_window.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "drive/quality.h"
#include "pages/error_indicator.h"
#include "resource.h"
#include "ui/clipboard.h"

namespace norvane {
namespace {

constexpr int kHistoryTipWidth = 300;

// The chart has no text of its own: the line under it names it.
constexpr ui::AccessibleName kHistoryNames[] = {
    {.controlId = IDC_HISTORY_CHART, .labelId = IDC_HISTORY_SUMMARY},
};

std::wstring LevelWord(std::uint8_t level) { return ui::LoadResourceString(LevelWordString(level)); }

// "14:03:05": the time of day of a wall time, in local time.
std::wstring TimeOfDay(std::int64_t wallTimeMs) {
  const std::string local = FormatLocalTime(wallTimeMs);
  return ui::WidenAscii(local.substr(local.find('T') + 1));
}

}  // namespace

CQualityHistoryWindow::CQualityHistoryWindow(HWND owner, const QualityHistory* history)
    : CDialogImpl(IDD_QUALITY_HISTORY, {}, kHistoryTipWidth), m_history(history) {
  if (!CreateModeless(owner)) return;
  PlaceBeside(owner);
  ShowWindow(m_hwnd, SW_SHOW);
}

std::span<const ui::MessageEntry<CQualityHistoryWindow>> CQualityHistoryWindow::MessageTable() {
  using Self = CQualityHistoryWindow;
  static constexpr ui::MessageEntry<Self> kTable[] = {
      ui::OnCommand(IDC_HISTORY_COPY, BN_CLICKED, &Self::OnCopy),
      ui::OnDpiChanged(&Self::OnDpiChanged),
  };
  return kTable;
}

void CQualityHistoryWindow::DoDataExchange() { m_chart.Subclass(Item(IDC_HISTORY_CHART)); }

BOOL CQualityHistoryWindow::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  NameControls(kHistoryNames);
  ToolTip().AddTool(m_hwnd, m_chart.Handle(), L"");
  ShowHistory(m_history);
  return TRUE;
}

void CQualityHistoryWindow::ShowHistory(const QualityHistory* history) {
  m_history = history;
  m_chart.SetHistory(history);
  ShowSummary();
  // Another reading may lie under the mouse now (the columns narrow as
  // readings come), or none (a new measurement).
  if (m_mouseX) NameReadingAt(*m_mouseX);
}

void CQualityHistoryWindow::ShowSummary() const { SetItemText(IDC_HISTORY_SUMMARY, SummaryText()); }

// "Worst: Fatal at 02:34:63; 12 s at Bad or worse", in the words the Status
// page shows.
std::wstring CQualityHistoryWindow::SummaryText() const {
  const WorstStretch worst = m_history ? m_history->Worst() : WorstStretch{};
  if (!worst.any) return ui::LoadResourceString(IDS_HISTORY_EMPTY);
  return ui::FillPlaceholders(ui::LoadResourceString(IDS_HISTORY_WORST),
                              {LevelWord(worst.level), ui::WidenAscii(FormatTimeCode(worst.startFrame)),
                               std::to_wstring(worst.secondsAtBadOrWorse), ui::LoadResourceString(IDS_LEVEL_BAD)});
}

// "14:03:05: Fatal at 02:28:00": when the reading was taken, and what it showed.
std::wstring CQualityHistoryWindow::TipText(std::size_t reading) const {
  const HistoryPoint& point = m_history->At(reading);
  return ui::FillPlaceholders(
      ui::LoadResourceString(IDS_HISTORY_TIP),
      {TimeOfDay(point.wallTimeMs), LevelWord(point.level), ui::WidenAscii(FormatTimeCode(point.lastSectorFrame))});
}

bool CQualityHistoryWindow::PreTranslateMessage(MSG& msg) {
  if (msg.hwnd == m_chart.Handle() && msg.message == WM_MOUSEMOVE) {
    m_mouseX = GET_X_LPARAM(msg.lParam);
    NameReadingAt(*m_mouseX);
  }
  if (CDialogImpl::PreTranslateMessage(msg)) return true;
  return IsDialogMessageW(m_hwnd, &msg) != FALSE;
}

// The tip names the reading at client x of the chart. Its text is set anew
// when the text changes only, so that a tip on screen does not flicker.
void CQualityHistoryWindow::NameReadingAt(int x) {
  const std::optional<std::size_t> reading = m_chart.ReadingAt(x);
  std::wstring text = reading ? TipText(*reading) : std::wstring();
  if (text == m_tipText) return;
  m_tipText = std::move(text);
  ToolTip().SetToolText(m_hwnd, m_chart.Handle(), m_tipText);
}

std::wstring CQualityHistoryWindow::Csv() const {
  std::string csv = HistoryCsvHeader() + "\r\n";
  const std::size_t readings = m_history ? m_history->Size() : 0;
  for (std::size_t i = 0; i < readings; ++i) csv += HistoryCsvLine(m_history->At(i)) + "\r\n";
  return ui::WidenAscii(csv);
}

LRESULT CQualityHistoryWindow::OnCopy(const ui::Command&) {
  ui::PutTextOnClipboard(m_hwnd, Csv());
  return 0;
}

void CQualityHistoryWindow::OnCancel() { DestroyWindow(m_hwnd); }

LRESULT CQualityHistoryWindow::OnDpiChanged(const ui::DpiChange& change) {
  FollowDpiChange(change);
  return 0;
}

// To the right of the main window, as far as the screen has room: it
// covers as little of the Status page as it can.
void CQualityHistoryWindow::PlaceBeside(HWND owner) const {
  RECT main, own;
  GetWindowRect(owner, &main);
  GetWindowRect(m_hwnd, &own);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  const int x = std::clamp<int>(main.right, work.left, std::max<int>(work.left, work.right - width));
  const int y = std::clamp<int>(main.top, work.top, std::max<int>(work.top, work.bottom - height));
  SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace norvane
