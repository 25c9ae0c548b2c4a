#include "ui/colours.h"

namespace norvane::ui {

CButtonFaceBrush::~CButtonFaceBrush() {
  if (m_brush) DeleteObject(m_brush);
}

void CButtonFaceBrush::Create() {
  if (m_brush) DeleteObject(m_brush);
  m_brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
}

bool PrepareButtonFaceColours(HWND window, const ColourRequest& request) {
  DefWindowProcW(window, request.message, reinterpret_cast<WPARAM>(request.dc),
                 reinterpret_cast<LPARAM>(request.control));
  if (request.message != WM_CTLCOLORSTATIC) return false;
  SetBkColor(request.dc, GetSysColor(COLOR_BTNFACE));
  return true;
}

}  // namespace norvane::ui
