// The application object and the one entry point that the shipped program
// and the demo share, once each has installed its device implementation.
#pragma once

#include <string>

namespace norvane {

class CNorvaneDriveUtilityApp {
 public:
  // Registers the common controls and runs the main window modally. Answers
  // false: the application has no message loop of its own and ends when the
  // main window closes.
  bool InitInstance();
};

// The mutex that the window's thread owns while the window runs, which a
// second start in the session meets.
std::wstring RunningWindowName();

// Runs the application; answers the process exit code.
int RunApplication();

}  // namespace norvane
