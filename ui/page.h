// The base of the tab pages and of the small windows beside them: a dialog
// painted in the button face, with a tooltip over some of its controls. The base owns the tooltip and relays
// to it every message the page pre-translates (a relayed tooltip sees the
// mouse only so), owns the page's background brush and answers every
// WM_CTLCOLOR* request of the page. A page declares only what differs: its
// tools, the tip width, and the colour of the texts it colours itself.
#pragma once

#include <windows.h>

#include <span>

#include "ui/colours.h"
#include "ui/dialog.h"
#include "ui/tooltip.h"

namespace norvane::ui {

class CPage : public CDialogImpl<CPage> {
 public:
  static std::span<const MessageEntry<CPage>> MessageTable();

  bool PreTranslateMessage(MSG& msg) override;

 protected:
  // `tools` must outlive the page; the tooltip wraps tips at `tipWidth` pixels.
  CPage(UINT templateId, std::span<const ToolText> tools, int tipWidth);

  // Data exchange, then the background brush and the tooltip.
  BOOL OnInitDialog() override;
  // The text colour of a static-kind control (static text, group box,
  // read-only edit), for a page that colours some of its texts; the base
  // leaves the colour the window's default colouring set, as it does for
  // every text under a high-contrast theme.
  virtual void ColourStaticText(HDC, HWND) const {}
  // The tooltip follows the page's DPI.
  void OnRescaled(UINT from, UINT to) override;
  // For tools whose text follows what their control shows.
  const CToolTip& ToolTip() const { return m_toolTip; }

 private:
  LRESULT OnCtlColor(const ColourRequest& request);
  LRESULT OnSysColorChange();

  std::span<const ToolText> m_tools;
  int m_tipWidth;
  CToolTip m_toolTip;
  CButtonFaceBrush m_backgroundBrush;
};

}  // namespace norvane::ui
