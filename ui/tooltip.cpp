#include "ui/tooltip.h"

#include <commctrl.h>

#include <string>

#include "ui/dpi.h"

namespace norvane::ui {

CToolTip::~CToolTip() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

void CToolTip::Create(HWND parent) {
  m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, TOOLTIPS_CLASSW, nullptr, WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, Instance(), nullptr);
}

namespace {

// The record of the tool over a whole control; the text stays the caller's.
TTTOOLINFOW ToolOf(HWND dialog, HWND control, const std::wstring& text) {
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND;
  info.hwnd = dialog;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  return info;
}

}  // namespace

void CToolTip::AddTools(HWND dialog, std::span<const ToolText> tools) const {
  for (const ToolText& tool : tools)
    AddTool(dialog, GetDlgItem(dialog, tool.controlId), LoadResourceString(tool.stringId));
}

void CToolTip::AddTool(HWND dialog, HWND control, const std::wstring& text) const {
  TTTOOLINFOW info = ToolOf(dialog, control, text);
  Send(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTip::SetToolText(HWND dialog, HWND control, const std::wstring& text) const {
  TTTOOLINFOW info = ToolOf(dialog, control, text);
  Send(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTip::SetMaxTipWidth(int pixels) const { Send(TTM_SETMAXTIPWIDTH, 0, pixels); }

// The control made its font of the system's metrics for the DPI it was
// created at; the font it is given last stays its font.
void CToolTip::Rescale(UINT from, UINT to) {
  if (m_firstDpi == 0) {
    const auto created = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    if (!created || !GetObjectW(created, sizeof m_firstFont, &m_firstFont)) return;
    m_firstDpi = from;
    m_firstWidth = static_cast<int>(Send(TTM_GETMAXTIPWIDTH));
  }
  LOGFONTW font = m_firstFont;
  font.lfHeight = ScaleBetween(font.lfHeight, m_firstDpi, to);
  font.lfWidth = ScaleBetween(font.lfWidth, m_firstDpi, to);
  HFONT scaled = CreateFontIndirectW(&font);
  Send(WM_SETFONT, reinterpret_cast<WPARAM>(scaled), FALSE);
  m_font.Reset(scaled);
  // A tooltip without a width of its own (-1) breaks only at line ends.
  if (m_firstWidth > 0) SetMaxTipWidth(ScaleBetween(m_firstWidth, m_firstDpi, to));
}

void CToolTip::Relay(const MSG& msg) const { Send(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg)); }

}  // namespace norvane::ui
