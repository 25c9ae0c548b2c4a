// Procedures that the system calls (dialog, window and subclass procedures)
// run their handling through Contained: an exception must not unwind through
// the system's frames, where it is undefined what happens. One that gets that
// far is written to the debugger output, the message gets the answer the
// procedure gives when it does not handle a message, and the program goes on
// with the next message.
#pragma once

#include <windows.h>

namespace norvane::ui {

// Writes what escaped (its type, what() where it has one), the procedure and
// the message to the debugger output (OutputDebugString). Call it only while
// an exception is being handled.
void ReportEscapedException(const wchar_t* procedure, UINT message) noexcept;

template <class Handle, class Fallback>
LRESULT Contained(const wchar_t* procedure, UINT message, Handle&& handle, Fallback&& fallback) noexcept {
  try {
    return handle();
  } catch (...) {
    ReportEscapedException(procedure, message);
  }
  return fallback();
}

// The same for a method of an object that a screen reader calls, often from
// its own process: what escapes is reported, and the call fails with E_FAIL.
void ReportEscapedException(const wchar_t* method) noexcept;

template <class Answer>
HRESULT ContainedCall(const wchar_t* method, Answer&& answer) noexcept {
  try {
    return answer();
  } catch (...) {
    ReportEscapedException(method);
  }
  return E_FAIL;
}

}  // namespace norvane::ui
