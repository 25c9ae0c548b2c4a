// For scripts/soak.sh: looks at the demo's window from another program and
// prints one line of figures: whether it answered a sent message within the
// time and how long it took, how many top-level windows its process shows,
// its committed memory and its GDI and USER objects.
// Usage: soak_probe <title> [timeout ms]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>

#include "platform/scoped.h"

namespace {

struct Windows {
  DWORD process;
  int count;
};

BOOL CALLBACK CountVisible(HWND window, LPARAM found) {
  auto* windows = reinterpret_cast<Windows*>(found);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == windows->process && IsWindowVisible(window)) ++windows->count;
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 64;
  const UINT timeoutMs = argc > 2 ? static_cast<UINT>(std::wcstol(argv[2], nullptr, 10)) : 5000;
  HWND window = FindWindowW(nullptr, argv[1]);
  if (!window) {
    std::printf("window=none\n");
    return 1;
  }
  const DWORD start = GetTickCount();
  DWORD_PTR result = 0;
  const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
  const DWORD took = GetTickCount() - start;
  Windows windows{0, 0};
  GetWindowThreadProcessId(window, &windows.process);
  EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&windows));
  const norvane::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, windows.process));
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  if (process) GetProcessMemoryInfo(process.Get(), &memory, sizeof memory);
  const DWORD gdi = process ? GetGuiResources(process.Get(), GR_GDIOBJECTS) : 0;
  const DWORD user = process ? GetGuiResources(process.Get(), GR_USEROBJECTS) : 0;
  std::printf("answered=%d ms=%lu windows=%d commit_kb=%lu gdi=%lu user=%lu\n", answered ? 1 : 0,
              static_cast<unsigned long>(took), windows.count, static_cast<unsigned long>(memory.PagefileUsage / 1024),
              static_cast<unsigned long>(gdi), static_cast<unsigned long>(user));
  return 0;
}
