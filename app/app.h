// The application object and the one entry point that the shipped program
// and the demo share, once each has installed its device implementation.
#pragma once

#include <string>

namespace norvane {

class CNorvaneDriveUtilityApp {
 public:
  // Registers the common controls, names the registry key and runs the main
  // window modally. Answers false: the application has no message loop of
  // its own and ends when the main window closes.
  bool InitInstance();

 private:
  // Named at start-up; nothing is ever read from or stored under it.
  std::wstring m_registryKey;
};

// Runs the application; answers the process exit code.
int RunApplication();

}  // namespace norvane
