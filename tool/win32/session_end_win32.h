// The end of the user's session (logging off, shutting down) as Windows
// tells a console program that has windows: a program that loads user32
// gets no logoff or shutdown event at its console's control handler, only
// WM_QUERYENDSESSION and WM_ENDSESSION at its top-level windows.
#pragma once

#include <windows.h>

#include "platform/scoped.h"

namespace norvane::tool {

// The class of the hidden window that hears of the session's end.
inline constexpr wchar_t kSessionEndWindowClass[] = L"NorvaneDriveSessionEnd";

// A thread of its own with a hidden top-level window (a message-only window
// gets no broadcast) that agrees to the session's end and calls `onEnd`
// when it comes. `onEnd` may end the process; if it returns, the system may
// end the process at any moment after.
class SessionEndListener {
 public:
  explicit SessionEndListener(void (*onEnd)());
  // Ends the thread before the process ends (Wine's x86 loader kills a
  // process whose window thread is still going at its exit), unless the
  // session's end has come: the thread then waits for the process to end.
  ~SessionEndListener();
  SessionEndListener(const SessionEndListener&) = delete;
  SessionEndListener& operator=(const SessionEndListener&) = delete;

 private:
  // Declared first, closed last: the thread waits on it.
  UniqueHandle m_stop;
  UniqueHandle m_thread;
};

}  // namespace norvane::tool
