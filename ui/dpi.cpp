#include "ui/dpi.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace norvane::ui {
namespace {

// GetDpiForWindow came with Windows 10; before it every window is at the
// system's DPI.
using DpiForWindow = UINT(WINAPI*)(HWND);

DpiForWindow DpiForWindowFunction() {
  // Through void*: FARPROC names no signature of its own.
  static const auto function = reinterpret_cast<DpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return function;
}

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

// Reads a template's fields in order, each WORD-aligned as the layout has them.
class TemplateReader {
 public:
  explicit TemplateReader(std::span<const BYTE> bytes) : m_bytes(bytes) {}

  void Skip(std::size_t count) { m_at += count; }
  // A field of type T; zero past the end.
  template <class T>
  T Read() {
    T value = 0;
    if (m_at + sizeof value <= m_bytes.size()) std::memcpy(&value, m_bytes.data() + m_at, sizeof value);
    m_at += sizeof value;
    return value;
  }
  WORD Word() { return Read<WORD>(); }
  // A menu or class field: none (0), an ordinal (0xFFFF and a number) or a name.
  void SkipNameOrOrdinal() {
    const WORD first = Word();
    if (first == 0xFFFF) {
      Word();
    } else if (first != 0) {
      SkipString();
    }
  }
  void SkipString() {
    while (m_at < m_bytes.size() && Word() != 0) {
    }
  }
  bool Inside() const { return m_at <= m_bytes.size(); }

 private:
  std::span<const BYTE> m_bytes;
  std::size_t m_at = 0;
};

RECT RectInParent(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The rectangle a child was laid out in: a drop-down combo box's reaches as
// low as its open list, which is what its window's height sets. It is read
// where the layout starts only: Wine's combo box answers the height of its
// list alone once it was sized again.
RECT LaidOutRect(HWND child) {
  RECT rect = RectInParent(child);
  wchar_t kind[16] = {};
  GetClassNameW(child, kind, static_cast<int>(std::size(kind)));
  RECT open;
  if (std::wstring_view(kind) == L"ComboBox" &&
      SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&open))) {
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&open), 2);
    rect.bottom = open.bottom;
  }
  return rect;
}

}  // namespace

UINT SystemDpiOf(HWND window) {
  if (DpiForWindow function = DpiForWindowFunction(); function && window) {
    if (const UINT dpi = function(window)) return dpi;
  }
  return ScreenDpi();
}

int ScaleBetween(int pixels, UINT from, UINT to) {
  return from == 0 ? pixels : MulDiv(pixels, static_cast<int>(to), static_cast<int>(from));
}

// DLGTEMPLATEEX starts with version 1 and 0xFFFF, help id, extended style,
// style, item count and the rectangle; DLGTEMPLATE with style, extended
// style, item count and the rectangle. Both go on with menu, class and
// caption, then, with DS_SETFONT, the point size.
int TemplatePointSize(std::span<const BYTE> dialogTemplate) {
  TemplateReader reader(dialogTemplate);
  const WORD version = reader.Word();
  const bool extended = version == 1 && reader.Word() == 0xFFFF;
  DWORD style;
  if (extended) {
    reader.Skip(2 * sizeof(DWORD));
    style = reader.Read<DWORD>();
    reader.Skip(sizeof(WORD) + 4 * sizeof(short));
  } else {
    reader = TemplateReader(dialogTemplate);
    style = reader.Read<DWORD>();
    reader.Skip(sizeof(DWORD) + sizeof(WORD) + 4 * sizeof(short));
  }
  if (!(style & DS_SETFONT)) return 0;
  reader.SkipNameOrOrdinal();
  reader.SkipNameOrOrdinal();
  reader.SkipString();
  const WORD pointSize = reader.Word();
  return reader.Inside() ? pointSize : 0;
}

HFONT CreateFontAtDpi(HFONT like, int pointSize, UINT dpi) {
  LOGFONTW font{};
  if (!like || !GetObjectW(like, sizeof font, &font)) return nullptr;
  font.lfHeight = -MulDiv(pointSize, static_cast<int>(dpi), 72);
  font.lfWidth = 0;
  return CreateFontIndirectW(&font);
}

void CChildLayout::Scale(HWND child, UINT from, UINT to, const std::function<void()>& refit) {
  const RECT now = RectInParent(child);
  auto placement = std::find_if(m_placements.begin(), m_placements.end(),
                                [child](const Placement& known) { return known.child == child; });
  if (placement == m_placements.end()) {
    placement = m_placements.insert(m_placements.end(), {child, LaidOutRect(child), from, now});
  } else if (!EqualRect(&placement->placed, &now)) {
    *placement = {child, LaidOutRect(child), from, now};
  }
  refit();
  const RECT& laidOut = placement->laidOut;
  const UINT at = placement->laidOutDpi;
  const int left = ScaleBetween(laidOut.left, at, to);
  const int top = ScaleBetween(laidOut.top, at, to);
  SetWindowPos(child, nullptr, left, top, ScaleBetween(laidOut.right, at, to) - left,
               ScaleBetween(laidOut.bottom, at, to) - top, SWP_NOZORDER | SWP_NOACTIVATE);
  placement->placed = RectInParent(child);
}

}  // namespace norvane::ui
