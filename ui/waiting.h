// How the window's thread waits for a drive (the pause after a force eject,
// a disc that is becoming ready): its windows keep painting and answering
// what is sent to them, the user's keys and clicks of the wait are dropped
// instead of being queued into actions that would start one after the other
// once it is over, and no action starts inside the wait.
#pragma once

#include <cstdint>
#include <functional>

namespace norvane::ui {

// Waits `milliseconds` in slices of `sleep`, which waits on the drive's
// clock. The thread's enabled top-level windows are disabled meanwhile, as
// under a modal window, and come back with their keyboard focus.
void WaitKeepingWindowsAnswering(std::uint32_t milliseconds, const std::function<void(std::uint32_t)>& sleep);

// Carries out one call into the system for a drive (an open, a pass-through)
// on a thread kept for them, while this one keeps its windows painting and
// answering what is sent to them, so that a drive that holds a command up to
// its time-out never makes the window stop responding. The user's keys and
// clicks wait in the queue for a moment; once the call has taken
// kHoldWindowsAfterMs the windows are held as in the waits above, with the
// wait cursor. No action starts inside the call. An exception of the call
// comes out here.
void RunKeepingWindowsAnswering(const std::function<void()>& call);
inline constexpr std::uint32_t kHoldWindowsAfterMs = 250;

// Inside a call for a drive (Activity::Kind::DriveCall) a close request
// ends the program at once, sent or posted: the drive holds all of its
// state, and a call may not come back for minutes. This gives up the drive
// call's I/O and ends the process with exit code 0.
[[noreturn]] void EndTheProgramInsideADriveCall();

// Inside such a wait, answering what was sent to its windows
// (Activity::Kind::Wait), a request to act (a command, a system command, a
// close) is put off until the wait is over (see CDialog).
inline constexpr std::uint32_t kWaitSliceMs = 50;

}  // namespace norvane::ui
