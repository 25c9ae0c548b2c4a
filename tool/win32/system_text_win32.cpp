#include <windows.h>

#include "tool/system_text.h"

namespace norvane::tool {

std::string Utf8Bytes(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

const SystemTexts& System() {
  static const SystemTexts texts = {
      "The drive: its letter, E or E: (default: the first one\nlist shows; a change or eject needs it when more "
      "than one\ndrive is present, readable or not)",
      "no access to the drive: another program holds it, administrator rights\n"
      "      are needed, or security software blocks it",
      "  130 interrupted (Ctrl-C or Ctrl-Break)\n"
      "  143 terminated: the console was closed, the user logged off, or Windows is shutting down",
      "A drive Windows will not open, or that refuses a command with \"access denied\", may be in use by\n"
      "another program, may need an elevated prompt (Run as administrator), or may be blocked by security\n"
      "software.",
      "The check switches the system's media change notification off while it runs, as the\n"
      "window's check does.",
      "close any program that uses the drive, or run norvane-drive from an elevated prompt (Run as administrator)",
  };
  return texts;
}

}  // namespace norvane::tool
