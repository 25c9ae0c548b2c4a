// The error indicator of the Status page: a bar of eight segments lit from
// the left, green, yellow or red by its level. It takes no input and draws no
// text; its owner sets the level and the bar repaints at once. Assistive
// technology reads it as its label names it, its value the level's word and
// the number of lit segments. Under a high-contrast theme its panel and frame
// take the system's colours and the lit segments keep their level colours.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ui/accessible.h"
#include "ui/painted_control.h"

namespace norvane {

// Registers the "CErrorIndicator" window class that the Status page's
// template names; answers true once it is there. Raises ui::ResourceFailure
// when the system cannot register it.
bool RegisterIndicatorClass();

// How the class is registered; a test may put a failing one in its place.
using ClassRegistrar = ATOM(WINAPI*)(const WNDCLASSEXW*);
void SetClassRegistrar(ClassRegistrar registrar);

// The string of the word a level is named by ("Perfect" .. "Fatal").
UINT LevelWordString(std::uint8_t level);
// The colour a level is lit in, by its band: green, yellow or red. It stays
// under a high-contrast theme, where it is the one colour that tells levels apart.
COLORREF LevelColour(std::uint8_t level);

class CErrorIndicator : public ui::CPaintedControl {
 public:
  // Takes over the painting of the bound control window; `label` is the
  // static text whose text names it.
  void Subclass(HWND control, HWND label);

  std::uint8_t Level() const { return m_level; }
  // Stores the level (at most 8) and repaints the bar before answering.
  void SetLevel(std::uint8_t level);
  // No segment lit and no value: the drive gave none.
  void ShowNoLevel();
  // What assistive technology reads as the value: "Not Good, 5 of 8", or
  // none while no level is shown.
  std::optional<std::wstring> ValueText() const;

  // Draws the whole bar into `dc` for a client area of `width` x `height`.
  void Paint(HDC dc, int width, int height) override;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void ShowLevel(std::uint8_t level, bool given);
  void PlaceSegmentVertices(int segment, const RECT& bounds, int split);
  void ColourVertices(COLORREF levelColour);

  static constexpr int kSegments = 8;
  // Per segment, the two corners of its upper and of its lower gradient.
  using VertexPairs = std::array<TRIVERTEX, 2 * kSegments>;
  VertexPairs m_upper{};
  VertexPairs m_lower{};
  std::uint8_t m_level = 0;
  bool m_levelGiven = false;
  ui::CAccessibleControl m_accessible;
};

}  // namespace norvane
