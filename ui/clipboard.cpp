#include "ui/clipboard.h"

#include <cstring>

namespace norvane::ui {
namespace {

// Movable global memory holding `count` characters and a terminating zero,
// as the clipboard takes it; null when there is no memory for it.
HGLOBAL GlobalCopy(const wchar_t* text, std::size_t count) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (count + 1) * sizeof(wchar_t));
  if (!memory) return nullptr;
  auto* to = static_cast<wchar_t*>(GlobalLock(memory));
  if (!to) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(to, text, count * sizeof(wchar_t));
  to[count] = 0;
  GlobalUnlock(memory);
  return memory;
}

}  // namespace

bool PutTextOnClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  HGLOBAL memory = GlobalCopy(text.c_str(), text.size());
  const bool taken = memory && SetClipboardData(CF_UNICODETEXT, memory);
  if (memory && !taken) GlobalFree(memory);  // the clipboard owns only what it took
  CloseClipboard();
  return taken;
}

}  // namespace norvane::ui
