// Looks for another program's top-level window by its title, prints the
// texts of its child windows one a line (UTF-8), then asks it to close and
// waits until it has gone. Exits 0 when the window showed and closed, 1 when
// it did not show within the time, 2 when it did not close.
// Usage: window_probe <title> [seconds]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void PrintUtf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  std::printf("%s\n", bytes.c_str());
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  wchar_t text[512] = {};
  GetWindowTextW(child, text, static_cast<int>(std::size(text)));
  if (text[0]) PrintUtf8(text);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 64;
  const int seconds = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 30;
  // A dialog exists, hidden, while it initialises; it shows once it is ready.
  HWND window = nullptr;
  for (int waited = 0; waited < seconds * 10; ++waited) {
    window = FindWindowW(nullptr, argv[1]);
    if (window && IsWindowVisible(window)) break;
    window = nullptr;
    Sleep(100);
  }
  if (!window) return 1;
  Sleep(500);  // let it finish its start-up
  EnumChildWindows(window, PrintChild, 0);
  std::fflush(stdout);
  PostMessageW(window, WM_CLOSE, 0, 0);
  for (int waited = 0; IsWindow(window) && waited < seconds * 10; ++waited) Sleep(100);
  return IsWindow(window) ? 2 : 0;
}
