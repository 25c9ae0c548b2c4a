#include "tool/drive_letters.h"

#include <cctype>

#include "drive/channel.h"

namespace norvane::tool {

DeviceNode LetterNode(char letter) { return {std::string(1, letter), DevicePath(letter), letter}; }

char LetterNamed(const std::string& name) {
  std::string rest = name;
  if (rest.starts_with("\\\\.\\")) rest.erase(0, 4);
  if (rest.ends_with(":\\")) rest.pop_back();  // the root folder, as Explorer shows it
  if (rest.size() == 2 && rest[1] == ':') rest.pop_back();
  if (rest.size() != 1) return 0;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
  return letter >= 'C' && letter <= 'Z' ? letter : 0;
}

}  // namespace norvane::tool
