#include "tool/console.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>

namespace norvane::tool {
namespace {

const char* Sgr(Colour colour) {
  switch (colour) {
    case Colour::Green: return "\x1b[32m";
    case Colour::Yellow: return "\x1b[33m";
    case Colour::Red: return "\x1b[31m";
    case Colour::Grey: return "\x1b[90m";
    case Colour::Bold: return "\x1b[1m";
  }
  return "";
}

// errno of the write that failed; a stream keeps no reason of its own.
thread_local int t_writeError = 0;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::string Palette::Paint(const std::string& text, Colour colour) const {
  if (!m_on) return text;
  return Sgr(colour) + text + "\x1b[0m";
}

Palette PaletteFor(const Console& console, const std::string& when) {
  if (when == "always") return Palette(true);
  if (when == "never") return Palette(false);
  return Palette(console.CanRedraw() && !console.noColor);
}

bool WrittenOut(Console& console) {
  if (!console.out.good()) {
    t_writeError = 0;  // failed at a write before: its reason is gone
    return false;
  }
  errno = 0;
  console.out.flush();
  if (console.out.good()) return true;
  t_writeError = errno;
  return false;
}

std::string UnwrittenText() {
  return std::string("write error on standard output") +
         (t_writeError != 0 ? std::string(": ") + std::strerror(t_writeError) : "");
}

bool AskYesNo(Console& console, const std::string& question) {
  console.err << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(console.in, answer)) {
    console.err << '\n';
    return false;
  }
  answer = Lower(answer);
  return answer == "y" || answer == "yes";
}

bool WaitForEnter(Console& console, const std::string& prompt) {
  console.err << prompt << std::flush;
  std::string line;
  return static_cast<bool>(std::getline(console.in, line));
}

}  // namespace norvane::tool
