// What went wrong below the seam, as a transport tells it to the tools.
#pragma once

#include <string>

namespace norvane {

// The last thing that went wrong below the seam.
struct SystemError {
  int code = 0;      // an errno value, 0 for none (a Windows transport maps its error to the nearest one)
  std::string text;  // what happened, for a person
};

}  // namespace norvane
