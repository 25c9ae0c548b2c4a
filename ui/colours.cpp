#include "ui/colours.h"

namespace norvane::ui {
namespace {

bool SystemHighContrast() {
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof setting;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0) &&
         (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

HighContrastQuery highContrastQuery = SystemHighContrast;

}  // namespace

bool HighContrast() { return highContrastQuery(); }

void SetHighContrastQuery(HighContrastQuery query) { highContrastQuery = query ? query : SystemHighContrast; }

void PassOnColourChange(HWND window) {
  // Direct children only: a child dialog passes it on to its own.
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
  }
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CButtonFaceBrush::Create() { m_brush.Reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))); }

bool PrepareButtonFaceColours(HWND window, const ColourRequest& request) {
  DefWindowProcW(window, request.message, reinterpret_cast<WPARAM>(request.dc),
                 reinterpret_cast<LPARAM>(request.control));
  if (request.message != WM_CTLCOLORSTATIC) return false;
  SetBkColor(request.dc, GetSysColor(COLOR_BTNFACE));
  return true;
}

}  // namespace norvane::ui
