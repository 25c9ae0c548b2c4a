// Host builds have no code pages; drive text is ASCII, taken byte for byte.
#include <cstring>

#include "drive/reads.h"

namespace norvane {

std::wstring DriveTextToWide(const char* text) {
  std::wstring wide;
  for (; *text != 0; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

}  // namespace norvane
