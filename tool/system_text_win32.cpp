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
      "The drive: its letter, E or E: (default: the first one\nlist shows; a change needs it when there are "
      "more)",
      "no access to the drive, or the command needs administrator rights",
      "  130 interrupted (Ctrl-C or Ctrl-Break)\n"
      "  143 terminated: the console was closed, or Windows is shutting down",
      "Reading a drive works from any prompt; changing it needs an elevated one (Run as administrator).",
      "The check switches the system's media change notification off while it runs, as the\n"
      "window's check does.",
      "run norvane-drive from an elevated prompt (Run as administrator)",
  };
  return texts;
}

}  // namespace norvane::tool
