// What assistive technology (a screen reader, a magnifier) is told about a
// control that its window alone does not tell: the system's standard proxy
// names a control by its own window text, which for a read-only edit is its
// value and for the error indicator is nothing at all.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace norvane::ui {

struct AccessibleText {
  std::function<std::wstring()> name;
  // The control's value, where the proxy's own would be wrong; none when the
  // control shows no value at the moment.
  std::function<std::optional<std::wstring>()> value;
  LONG role = 0;  // a ROLE_SYSTEM_* in place of the proxy's, or 0 for the proxy's
};

// Answers WM_GETOBJECT for a control's client object with the system's
// standard proxy for it, its name (and value and role, where given) replaced.
// A client may keep the object after the control is gone: it then answers
// that the object is no longer there.
class CAccessibleControl {
 public:
  CAccessibleControl() = default;
  ~CAccessibleControl();
  CAccessibleControl(const CAccessibleControl&) = delete;
  CAccessibleControl& operator=(const CAccessibleControl&) = delete;

  void Attach(HWND control, AccessibleText text);
  // Tells listening clients that the value changed.
  void NotifyValueChange() const;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);
  LRESULT AnswerGetObject(WPARAM wParam, LPARAM lParam) const;
  void Detach();

  HWND m_hwnd = nullptr;
  // Shared with the objects handed out, which outlive the control when a
  // client holds them; emptied when the control goes.
  std::shared_ptr<AccessibleText> m_text;
};

// A label's text as a name: without the '&' that marks a mnemonic, and with
// the lines of a wrapped label joined by spaces.
std::wstring LabelName(HWND label);

}  // namespace norvane::ui
