#include "ui/window.h"

namespace norvane::ui {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: try a larger buffer
  }
}

std::wstring LoadResourceString(UINT id) {
  // With a zero length, LoadStringW hands out the resource's own text, which
  // is not terminated, and answers its length.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

std::wstring FillPlaceholders(std::wstring pattern, std::initializer_list<std::wstring> fields) {
  int number = 1;
  for (const std::wstring& field : fields) {
    const std::wstring marker = L"%" + std::to_wstring(number++);
    if (const std::size_t at = pattern.find(marker); at != std::wstring::npos)
      pattern.replace(at, marker.size(), field);
  }
  return pattern;
}

std::wstring WidenAscii(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

LRESULT CWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  return SendMessageW(m_hwnd, message, wParam, lParam);
}

HWND CWindow::Item(int id) const { return GetDlgItem(m_hwnd, id); }

std::wstring CWindow::Text() const {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_hwnd)), L'\0');
  const int copied = GetWindowTextW(m_hwnd, text.data(), static_cast<int>(text.size() + 1));
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

void CWindow::SetText(const std::wstring& text) const { SetWindowTextW(m_hwnd, text.c_str()); }

void CWindow::Enable(bool enable) const { EnableWindow(m_hwnd, enable); }

bool CWindow::IsEnabled() const { return IsWindowEnabled(m_hwnd) != FALSE; }

void CWindow::Show(bool show) const { ShowWindow(m_hwnd, show ? SW_SHOW : SW_HIDE); }

bool CWindow::IsVisible() const { return IsWindowVisible(m_hwnd) != FALSE; }

}  // namespace norvane::ui
