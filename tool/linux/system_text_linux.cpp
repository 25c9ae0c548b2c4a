#include "tool/system_text.h"

namespace norvane::tool {

std::string Utf8Bytes(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) bytes += c <= 0xFF ? static_cast<char>(c) : '?';
  return bytes;
}

const SystemTexts& System() {
  static const SystemTexts texts = {
      "The drive: /dev/sr0, sr0, ... or with --emulate a letter; a link\nor the sg node of an sr drive is "
      "that drive (default: the first\none list shows; a change or eject needs it when more than one\ndrive is "
      "present, readable or not)",
      "no access to the device, or the command needs CAP_SYS_RAWIO",
      "  129 hung up: the terminal closed (SIGHUP)\n"
      "  130 interrupted (Ctrl-C)\n"
      "  131 quit (Ctrl-\\, SIGQUIT)\n"
      "  143 terminated (SIGTERM)",
      "See norvane-drive(1) for the details, and PERMISSIONS there for real drives.",
      "The Windows utility switches the system's media change notification off during the check;\n"
      "Linux has no such switch, so here the check goes on without it.",
      "see PERMISSIONS in norvane-drive(1)",
  };
  return texts;
}

}  // namespace norvane::tool
