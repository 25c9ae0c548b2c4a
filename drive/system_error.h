// What went wrong below the seam, as a transport tells it to the tools.
#pragma once

#include <cstdint>
#include <string>

namespace norvane {

// The last thing that went wrong below the seam.
struct SystemError {
  int code = 0;      // an errno value, 0 for none (a Windows transport maps its error to the nearest one)
  std::string text;  // what happened, for a person
};

// Windows' own words for one of its error codes, in the user's language,
// without the line end; empty for a code it has no words for. (Windows only.)
std::wstring SystemErrorText(std::uint32_t code);

}  // namespace norvane
