#include "ui/clipboard.h"

#include <algorithm>
#include <cstring>

namespace norvane::ui {
namespace {

// Movable global memory holding `count` characters and a terminating zero,
// as the clipboard takes it; null when there is no memory for it.
template <class Char>
HGLOBAL GlobalCopy(const Char* text, std::size_t count) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (count + 1) * sizeof(Char));
  if (!memory) return nullptr;
  auto* to = static_cast<Char*>(GlobalLock(memory));
  if (!to) {
    GlobalFree(memory);
    return nullptr;
  }
  std::memcpy(to, text, count * sizeof(Char));
  to[count] = 0;
  GlobalUnlock(memory);
  return memory;
}

// The clipboard owns the memory once it took it; memory it refused stays ours.
bool Hand(UINT format, HGLOBAL memory) {
  if (memory && SetClipboardData(format, memory)) return true;
  if (memory) GlobalFree(memory);
  return false;
}

}  // namespace

bool PutTextOnClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool taken = Hand(CF_UNICODETEXT, GlobalCopy(text.c_str(), text.size()));
  if (taken && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; })) {
    const std::string ascii(text.begin(), text.end());
    taken = Hand(CF_TEXT, GlobalCopy(ascii.c_str(), ascii.size()));
  }
  CloseClipboard();
  return taken;
}

}  // namespace norvane::ui
