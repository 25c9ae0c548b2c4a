// What the window thread does between the slices of a wait for a drive.
#pragma once

namespace norvane::ui {

// The thread's windows repaint and answer the messages sent to them; the
// user's keys and clicks that arrive meanwhile are dropped, not queued into
// actions that would start one after the other once the wait is over.
// Posted messages (timers among them) wait for the message loop, so that
// no handler starts inside another one's wait.
void KeepWindowsAnswering();

}  // namespace norvane::ui
