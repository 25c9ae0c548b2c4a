#include "ui/page.h"

namespace norvane::ui {

CPage::CPage(UINT templateId, std::span<const ToolText> tools, int tipWidth)
    : CDialogImpl(templateId), m_tools(tools), m_tipWidth(tipWidth) {}

std::span<const MessageEntry<CPage>> CPage::MessageTable() {
  static constexpr MessageEntry<CPage> kTable[] = {
      ui::OnCtlColor(&CPage::OnCtlColor),
      ui::OnMessage(WM_SYSCOLORCHANGE, &CPage::OnSysColorChange),
  };
  return kTable;
}

BOOL CPage::OnInitDialog() {
  CDialogImpl::OnInitDialog();
  m_backgroundBrush.Create();
  m_toolTip.Create(m_hwnd);
  m_toolTip.AddTools(m_hwnd, m_tools);
  m_toolTip.SetMaxTipWidth(m_tipWidth);
  return TRUE;
}

void CPage::OnRescaled(UINT from, UINT to) { m_toolTip.Rescale(from, to); }

bool CPage::PreTranslateMessage(MSG& msg) {
  m_toolTip.Relay(msg);
  return CDialogImpl::PreTranslateMessage(msg);
}

// The page and every control on it get the page's button-face brush; static
// text is drawn on the button face, in the page's colour for it.
LRESULT CPage::OnCtlColor(const ColourRequest& request) {
  if (PrepareButtonFaceColours(m_hwnd, request) && !HighContrast()) ColourStaticText(request.dc, request.control);
  return m_backgroundBrush.Answer();
}

// The page's own brush is of the old button face; its controls (the
// tooltip's window is not a child) cache colours of their own.
LRESULT CPage::OnSysColorChange() {
  m_backgroundBrush.Create();
  PassOnColourChange(m_hwnd);
  return 0;
}

}  // namespace norvane::ui
