// What a run needs of the world around it, so that tests can stand in for it:
// the drives, and the passing of time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "tool/drive_source.h"

namespace norvane::tool {

class Platform {
 public:
  virtual ~Platform() = default;
  // The machine's drives, or the emulated drives of the demo.
  virtual DriveSource& Drives(bool emulate) = 0;
  // Waits one tick of a countdown or a watch. False once the run has been
  // interrupted (Ctrl-C), at once or during the wait.
  virtual bool Wait(std::chrono::milliseconds period) = 0;
  // Starts listening for the system's word that a device came or went,
  // before a watch first looks at the drives: nothing said between that look
  // and the first wait is lost.
  virtual void ListenForDrives() {}
  // How a wait for drives ended: the system said a device arrived or left
  // (every drive is worth a look then), or only the tick passed.
  enum class DrivesWait { Interrupted, Ticked, DevicesChanged };
  // Waits until drives may have come or gone: the system says a device
  // arrived or left, or `period` has passed, whichever is first (an event
  // can come before the drive answers, and a system may send none).
  virtual DrivesWait WaitForDrives(std::chrono::milliseconds period) {
    return Wait(period) ? DrivesWait::Ticked : DrivesWait::Interrupted;
  }
  // The time of day, in Unix milliseconds, that a reading is stamped with.
  virtual std::int64_t WallTimeMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
  // Whether standard output can take no more, as a pipe whose reader has
  // gone: a watch with nothing to print notices it all the same.
  virtual bool OutputGone() const { return false; }

  // How a tick of a watch over the drive ended.
  enum class Tick { Interrupted, DriveHeld, DriveLetGo };
  // Waits one tick of a watch over the drive open in the channel. Meanwhile
  // the system may ask to take the drive away ("Safely Remove"): the drive
  // is then let go (closed, the channel without it), and opened again
  // should the removal be refused. DriveLetGo while that removal is under
  // way: until it is refused or done, the drive is not to be opened.
  virtual Tick WaitBesideDrive(std::chrono::milliseconds period) {
    return Wait(period) ? Tick::DriveHeld : Tick::Interrupted;
  }
  // The system's questions about the drive go unheard from here on, before
  // its handle is closed: at the watch's end, or to open the drive anew
  // (the next wait watches the handle then open).
  virtual void StopWatchingDrive() {}

  // The line a signal that ends the run at once (in the middle of a
  // command, outside a tick's wait) leaves on standard error; empty for
  // none. A watch keeps its summary here, so that Ctrl-C gives it wherever
  // it lands; a signal in a tick's wait ends the run cleanly, and the watch
  // says it itself.
  virtual void SetInterruptNote(const std::string& line) { (void)line; }

  // From a change's first command to the report of what the drive took,
  // the signals that end a run (Ctrl-C, a hang-up, a termination request)
  // wait: a sequence cut short would leave the drive with a set nobody
  // chose. Each command is still bounded by its time-out.
  virtual void HoldInterrupts() {}
  // Ends the hold: the exit status of a signal that came during it, with
  // which the run is then to end, or 0.
  virtual int ReleaseInterrupts() { return 0; }
};

}  // namespace norvane::tool
