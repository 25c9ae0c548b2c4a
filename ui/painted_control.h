// A control window whose picture an object draws: it subclasses the control
// the template made, paints the whole client area through a bitmap off the
// screen, so that nothing shows half drawn, and paints the same picture
// into a caller's device context on WM_PRINTCLIENT (printing, tests).
#pragma once

#include <windows.h>

#include "ui/window.h"

namespace norvane::ui {

class CPaintedControl : public CWindow {
 public:
  CPaintedControl() = default;
  virtual ~CPaintedControl();
  CPaintedControl(const CPaintedControl&) = delete;
  CPaintedControl& operator=(const CPaintedControl&) = delete;

  // Takes over the painting of the bound control window.
  void Subclass(HWND control);

  // Draws the whole client area, `width` x `height`, into `dc`.
  virtual void Paint(HDC dc, int width, int height) = 0;

 protected:
  // A message other than painting, before the control's own procedure; a
  // class answers true with the result when the control must not see it.
  virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT& /*result*/) { return false; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);
  LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void PaintOffScreen();
  void PaintClient(HDC dc);
};

}  // namespace norvane::ui
