#include <windows.h>

#include "drive/reads.h"
#include "drive/system_error.h"

namespace norvane {

std::wstring DriveTextToWide(const char* text) {
  const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::wstring SystemErrorText(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words(text != nullptr ? text : L"", length);
  LocalFree(text);
  words.erase(words.find_last_not_of(L" \r\n") + 1);
  return words;
}

}  // namespace norvane
