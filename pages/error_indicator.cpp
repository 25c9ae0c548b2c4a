#include "pages/error_indicator.h"

#include <windows.h>

#include "ui/window.h"

namespace norvane {

void RegisterIndicatorClass() {
  // The class exists so that the Status page's template can be created; the
  // indicator's painting comes with the control's own behaviour.
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = ui::Instance();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"CErrorIndicator";
  RegisterClassExW(&windowClass);
}

}  // namespace norvane
