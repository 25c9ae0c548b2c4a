// The button-face background that the main window and every page paint
// their static controls with.
#pragma once

#include <windows.h>

#include "ui/dialog.h"

namespace norvane::ui {

// A solid brush of the system button-face colour, owned for a window's life.
class CButtonFaceBrush {
 public:
  CButtonFaceBrush() = default;
  ~CButtonFaceBrush();
  CButtonFaceBrush(const CButtonFaceBrush&) = delete;
  CButtonFaceBrush& operator=(const CButtonFaceBrush&) = delete;

  void Create();
  HBRUSH Handle() const { return m_brush; }
  LRESULT Answer() const { return reinterpret_cast<LRESULT>(m_brush); }

 private:
  HBRUSH m_brush = nullptr;
};

// The colouring a WM_CTLCOLOR* request gets everywhere: the window's default
// colouring runs first (its brush is not used), then a static-kind control
// (static text, group box, read-only edit) gets the button-face colour as
// its text background. Answers whether the request was of the static kind.
bool PrepareButtonFaceColours(HWND window, const ColourRequest& request);

}  // namespace norvane::ui
