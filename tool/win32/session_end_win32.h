// The end of the user's session (logging off, shutting down) as Windows
// tells a console program that has windows: a program that loads user32
// gets no logoff or shutdown event at its console's control handler, only
// WM_QUERYENDSESSION and WM_ENDSESSION at its top-level windows.
#pragma once

#include <windows.h>

namespace norvane::tool {

// The class of the hidden window that hears of the session's end.
inline constexpr wchar_t kSessionEndWindowClass[] = L"NorvaneDriveSessionEnd";

// Starts a thread of its own with a hidden top-level window (a message-only
// window gets no broadcast) that agrees to the session's end and calls
// `onEnd` when it comes. `onEnd` may end the process; if it returns, the
// system may end the process at any moment after.
void ListenForSessionEnd(void (*onEnd)());

}  // namespace norvane::tool
