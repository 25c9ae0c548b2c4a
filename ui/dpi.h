// Dots per inch: the DPI a window is shown at, and what a layout made for
// one DPI needs to follow another. A dialog's template gives its layout
// and font in dialog units and points, which the dialog manager turns into
// pixels once, at the DPI the dialog is created at; when the window moves
// to a monitor of another scale factor, the pixels are scaled here.
#pragma once

#include <windows.h>

#include <functional>
#include <span>
#include <vector>

namespace norvane::ui {

inline constexpr UINT kDefaultDpi = 96;  // 100%: what the layouts of pixels are drawn for

// The DPI the system shows `window` at (the system's DPI where it has no
// DPI per window).
UINT SystemDpiOf(HWND window);

// `pixels` at `from` DPI, as many at `to`, rounded to the nearest pixel.
int ScaleBetween(int pixels, UINT from, UINT to);

// The point size of a dialog template's font, 0 for a template that sets none.
int TemplatePointSize(std::span<const BYTE> dialogTemplate);

// A font like `like` (its face, weight, character set) at `pointSize` points
// for `dpi`, as the dialog manager makes a template's font. The caller owns it.
HFONT CreateFontAtDpi(HFONT like, int pointSize, UINT dpi);

// Where a dialog's child windows lie at the DPI they were laid out for.
// Each scaling starts from there, so that a layout scaled to another DPI and
// back is where it was, and moves between monitors add up no rounding. A
// child that came or that the program moved since the last scaling starts
// from where it is.
class CChildLayout {
 public:
  // Moves and sizes `child` by its rectangle in its parent scaled from `from`
  // DPI to `to`: each edge on its own, so that what touches or lies inside
  // at one DPI does so at the other. A drop-down combo box keeps the height
  // of its open list, which its window's height sets. `refit` runs before
  // the child is placed: what a control changes of its own size on it (a
  // combo box's height on a new font) is not taken for a move.
  void Scale(HWND child, UINT from, UINT to, const std::function<void()>& refit);

 private:
  struct Placement {
    HWND child;
    RECT laidOut;  // at laidOutDpi
    UINT laidOutDpi;
    RECT placed;  // where the last scaling left it
  };
  std::vector<Placement> m_placements;
};

}  // namespace norvane::ui
