#include "ui/painted_control.h"

#include <commctrl.h>

#include "platform/scoped.h"
#include "ui/contained.h"

namespace norvane::ui {
namespace {

constexpr UINT_PTR kPaintedSubclassId = 1;

}  // namespace

CPaintedControl::~CPaintedControl() {
  if (m_hwnd) RemoveWindowSubclass(m_hwnd, SubclassProc, kPaintedSubclassId);
}

void CPaintedControl::Subclass(HWND control) {
  m_hwnd = control;
  SetWindowSubclass(control, SubclassProc, kPaintedSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

// A handler's exception stops here, and the message goes on to the
// control's own procedure as if the object did not handle it.
LRESULT CALLBACK CPaintedControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                               DWORD_PTR self) {
  return Contained(
      L"a painted control's subclass procedure", message,
      [&] { return reinterpret_cast<CPaintedControl*>(self)->Dispatch(hwnd, message, wParam, lParam); },
      [&] { return DefSubclassProc(hwnd, message, wParam, lParam); });
}

LRESULT CPaintedControl::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: PaintOffScreen(); return 0;
    // The picture covers the whole area: erasing it first would only flash.
    case WM_ERASEBKGND: return 1;
    case WM_PRINTCLIENT: PaintClient(reinterpret_cast<HDC>(wParam)); return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, SubclassProc, kPaintedSubclassId);
      m_hwnd = nullptr;
      return DefSubclassProc(hwnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (OnMessage(message, wParam, lParam, result)) return result;
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void CPaintedControl::PaintClient(HDC dc) {
  RECT client;
  GetClientRect(m_hwnd, &client);
  Paint(dc, client.right - client.left, client.bottom - client.top);
}

void CPaintedControl::PaintOffScreen() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hwnd, &paint);
  RECT client;
  GetClientRect(m_hwnd, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  HDC memory = CreateCompatibleDC(dc);
  const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
  if (memory && bitmap.Get()) {
    const HGDIOBJ old = SelectObject(memory, bitmap.Get());
    Paint(memory, width, height);
    BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
  } else {
    Paint(dc, width, height);  // no room for the bitmap: straight onto the screen
  }
  if (memory) DeleteDC(memory);
  EndPaint(m_hwnd, &paint);
}

}  // namespace norvane::ui
