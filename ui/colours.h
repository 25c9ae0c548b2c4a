// The button-face background that the main window and every page paint
// their static controls with.
#pragma once

#include <windows.h>

#include "platform/scoped.h"
#include "ui/dialog.h"

namespace norvane::ui {

// A solid brush of the system button-face colour, owned for a window's life.
class CButtonFaceBrush {
 public:
  CButtonFaceBrush() = default;
  CButtonFaceBrush(const CButtonFaceBrush&) = delete;
  CButtonFaceBrush& operator=(const CButtonFaceBrush&) = delete;

  void Create();
  HBRUSH Handle() const { return m_brush.Get(); }
  LRESULT Answer() const { return reinterpret_cast<LRESULT>(m_brush.Get()); }

 private:
  GdiObject<HBRUSH> m_brush;
};

// Whether the user chose a high-contrast theme: the windows then draw every
// text in the theme's colours and nothing in colours of their own.
bool HighContrast();
// Where HighContrast asks; a test may stand in for the system's setting, and
// null gives the system's back.
using HighContrastQuery = bool (*)();
void SetHighContrastQuery(HighContrastQuery query);

// After the system's colours changed: `window`'s children hear of it too
// (child windows are not told by the system), and everything repaints.
void PassOnColourChange(HWND window);

// The colouring a WM_CTLCOLOR* request gets everywhere: the window's default
// colouring runs first (its brush is not used), then a static-kind control
// (static text, group box, read-only edit) gets the button-face colour as
// its text background. Answers whether the request was of the static kind.
bool PrepareButtonFaceColours(HWND window, const ColourRequest& request);

}  // namespace norvane::ui
