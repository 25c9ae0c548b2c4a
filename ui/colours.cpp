#include "ui/colours.h"

namespace norvane::ui {

CButtonFaceBrush::~CButtonFaceBrush() {
  if (m_brush) DeleteObject(m_brush);
}

void CButtonFaceBrush::Create() {
  if (m_brush) DeleteObject(m_brush);
  m_brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
}

bool PrepareButtonFaceColours(HWND window, const Message& request) {
  DefWindowProcW(window, request.id, request.wParam, request.lParam);
  if (request.id != WM_CTLCOLORSTATIC) return false;
  SetBkColor(reinterpret_cast<HDC>(request.wParam), GetSysColor(COLOR_BTNFACE));
  return true;
}

}  // namespace norvane::ui
