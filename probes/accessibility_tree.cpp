// For scripts/accessibility-tree.sh: reads the demo's window from another
// process as a screen reader does (AccessibleObjectFromWindow on every
// visible window) after turning to the Status page, and prints each
// object's role, name and value as UTF-8, one window a line, indented by depth.
// Usage: accessibility_tree <title> [milliseconds to wait on the Status page]
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/scoped.h"

namespace {

constexpr int kPageTabsId = 1001;
constexpr int kStatusTab = 1;

std::string Utf8(const std::wstring& text) {
  std::string bytes(
      static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.pop_back();
  return bytes;
}

// Takes over a string the object allocated.
std::wstring Take(BSTR text) {
  std::wstring taken = text ? text : L"";
  SysFreeString(text);
  return taken;
}

void PrintObject(HWND window, int depth) {
  if (!IsWindowVisible(window)) return;
  IAccessible* object = nullptr;
  std::wstring role = L"(none)", name, value;
  bool hasValue = false;
  if (SUCCEEDED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&object)))) {
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (object->get_accName(self, &text) == S_OK) name = Take(text);
    text = nullptr;
    if (object->get_accValue(self, &text) == S_OK) {
      value = Take(text);
      hasValue = true;
    }
    VARIANT kind{};
    wchar_t roleText[64] = {};
    if (object->get_accRole(self, &kind) == S_OK && kind.vt == VT_I4 &&
        GetRoleTextW(static_cast<DWORD>(kind.lVal), roleText, 64)) {
      role = roleText;
    }
    object->Release();
  }
  wchar_t windowClass[64] = {};
  GetClassNameW(window, windowClass, 64);
  std::wstring line(static_cast<size_t>(depth) * 2, L' ');
  line += role + L" \"" + name + L"\"";
  if (hasValue) line += L" = \"" + value + L"\"";
  line += L"  [" + std::wstring(windowClass) + L" " + std::to_wstring(GetDlgCtrlID(window)) + L"]\n";
  std::fputs(Utf8(line).c_str(), stdout);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    PrintObject(child, depth + 1);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 64;
  const norvane::ComApartment com;
  HWND main = FindWindowW(nullptr, argv[1]);
  if (!main) return 1;
  // As the keyboard turns the page: the tab control asks the window and tells it.
  SendMessageW(GetDlgItem(main, kPageTabsId), TCM_SETCURFOCUS, kStatusTab, 0);
  Sleep(argc > 2 ? static_cast<DWORD>(std::wcstol(argv[2], nullptr, 10)) : 2000);
  PrintObject(main, 0);
  return 0;
}
