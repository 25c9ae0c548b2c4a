// What a run needs of the world around it, so that tests can stand in for it:
// the drives, and the passing of time.
#pragma once

#include <chrono>

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
};

}  // namespace norvane::tool
