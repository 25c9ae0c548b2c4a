#include <windows.h>

#include "drive/reads.h"

namespace norvane {

std::wstring DriveTextToWide(const char* text) {
  const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

}  // namespace norvane
