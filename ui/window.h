// A thin wrapper over a window handle, for the dialogs and the controls they
// bind, and the module's string resources.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace norvane::ui {

// Raised when the system has no resources left to construct a window's
// parts (a window class, a kernel object); it aborts that construction only.
class ResourceFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The module that holds the resources: the executable itself.
HINSTANCE Instance();
// The full path of the running executable.
std::wstring ExecutablePath();

// The text of a string resource in the language the resource loader picks;
// empty when there is none.
std::wstring LoadResourceString(UINT id);

// `pattern` with "%1", "%2", ... replaced by the fields in order, each
// marker once: the strings of both languages put the fields where their
// grammar wants them.
std::wstring FillPlaceholders(std::wstring pattern, std::initializer_list<std::wstring> fields);

// ASCII text (a time code, a number, CSV) as the wide text windows show.
std::wstring WidenAscii(const std::string& ascii);

// A control of a dialog and the string-table text it shows.
struct ControlText {
  int controlId;
  UINT stringId;
};

class CWindow {
 public:
  CWindow() = default;
  explicit CWindow(HWND hwnd) : m_hwnd(hwnd) {}

  HWND Handle() const { return m_hwnd; }
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  HWND Item(int id) const;

  std::wstring Text() const;
  void SetText(const std::wstring& text) const;
  void Enable(bool enable) const;
  bool IsEnabled() const;
  void Show(bool show) const;
  bool IsVisible() const;

 protected:
  HWND m_hwnd = nullptr;

 private:
  friend class CDialog;  // binds controls by id
};

}  // namespace norvane::ui
