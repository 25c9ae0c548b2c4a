// A tooltip control whose tools are whole control windows of one dialog,
// with texts from the string table or texts that follow what the control
// shows. Its owner relays every message it
// pre-translates (Relay), since a relayed tooltip sees the mouse only so.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "platform/scoped.h"
#include "ui/window.h"

namespace norvane::ui {

using ToolText = ControlText;

class CToolTip : public CWindow {
 public:
  CToolTip() = default;
  ~CToolTip();
  CToolTip(const CToolTip&) = delete;
  CToolTip& operator=(const CToolTip&) = delete;

  void Create(HWND parent);
  // Adds one tool per control of `dialog`, in the order given.
  void AddTools(HWND dialog, std::span<const ToolText> tools) const;
  // One tool over `control` of `dialog` with this text, and a new text for it.
  void AddTool(HWND dialog, HWND control, const std::wstring& text) const;
  void SetToolText(HWND dialog, HWND control, const std::wstring& text) const;
  void SetMaxTipWidth(int pixels) const;
  void Relay(const MSG& msg) const;
  // Follows its dialog's layout from `from` DPI to `to`: the tips' font and
  // the width they wrap at scale alike, from what they were at the first
  // DPI, so that no rounding adds up.
  void Rescale(UINT from, UINT to);

 private:
  UINT m_firstDpi = 0;  // 0 until the first rescale
  LOGFONTW m_firstFont{};
  int m_firstWidth = 0;
  GdiObject<HFONT> m_font;  // the tips' font at the last DPI followed
};

}  // namespace norvane::ui
