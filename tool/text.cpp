#include "tool/text.h"

#include <algorithm>
#include <iterator>

#include "tool/system_text.h"

namespace norvane::tool {
namespace {

struct QuietName {
  const char* name;
  QuietModeCode code;
};
constexpr QuietName kQuietNames[] = {
    {"off", QuietOff}, {"performance", QuietPerformance}, {"quiet", QuietStandard}, {"persistent", QuietPersistent}};

struct ReadName {
  const char* name;
  ReadModeCode code;
};
constexpr ReadName kReadNames[] = {{"off", ReadModeOff}, {"perfect", ReadModePerfect}, {"master", ReadModeMaster}};

// The length of the UTF-8 sequence at `at`, or 0 when none starts there.
std::size_t SequenceLength(const std::string& bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(bytes[at + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

constexpr std::size_t kLongestEchoed = 80;  // bytes of a name or value a message repeats

// C0 controls and DEL as one byte, the C1 controls U+0080..U+009F as the two
// bytes C2 80..C2 9F: a terminal takes either kind as the start of an escape.
bool IsControl(const std::string& bytes, std::size_t at, std::size_t length) {
  const auto byte = [&bytes, at](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
  if (length == 1) return byte(0) < 0x20 || byte(0) == 0x7F;
  return length == 2 && byte(0) == 0xC2 && byte(1) < 0xA0;
}

}  // namespace

std::string Printable(const std::string& bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = SequenceLength(bytes, at);
    if (length == 0 || IsControl(bytes, at, length)) {
      text += '?';
      at += std::max<std::size_t>(length, 1);
      continue;
    }
    text.append(bytes, at, length);
    at += length;
  }
  return text;
}

std::string Shortened(const std::string& printable) {
  if (printable.size() <= kLongestEchoed) return printable;
  std::size_t end = 0;
  while (end < kLongestEchoed) {
    const std::size_t length = std::max<std::size_t>(SequenceLength(printable, end), 1);
    if (end + length > kLongestEchoed) break;
    end += length;
  }
  return printable.substr(0, end) + "...";
}

std::string Echoed(const std::string& bytes) { return Shortened(Printable(bytes)); }

std::string Printable(const std::wstring& text) { return Printable(Utf8Bytes(text)); }

std::string OneLine(const std::string& text) {
  const auto breaks = [](char c) { return c == '\r' || c == '\n'; };
  const auto blank = [&breaks](char c) { return c == ' ' || c == '\t' || breaks(c); };
  std::string line;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = at;
    while (end < text.size() && blank(text[end])) ++end;
    const bool broken = std::any_of(text.begin() + at, text.begin() + end, breaks);
    if (end == at) {
      line += text[at++];
    } else {
      if (at > 0 && end < text.size()) line += broken ? std::string(" ") : text.substr(at, end - at);
      at = end;
    }
  }
  return line;
}

std::wstring WideName(const std::string& name) {
  std::wstring wide;
  for (unsigned char byte : name) wide += static_cast<wchar_t>(byte);
  return wide;
}

const char* QuietModeName(QuietModeCode code) {
  for (const QuietName& entry : kQuietNames) {
    if (entry.code == code) return entry.name;
  }
  return "quiet";  // the drive layer reads every other value as Quiet Mode
}

const char* ReadModeName(ReadModeCode code) {
  for (const ReadName& entry : kReadNames) {
    if (entry.code == code) return entry.name;
  }
  return "perfect";
}

bool QuietModeNamed(const std::string& name, QuietModeCode& code) {
  for (const QuietName& entry : kQuietNames) {
    if (name == entry.name) return code = entry.code, true;
  }
  return false;
}

bool ReadModeNamed(const std::string& name, ReadModeCode& code) {
  for (const ReadName& entry : kReadNames) {
    if (name == entry.name) return code = entry.code, true;
  }
  return false;
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

const char* QualityWordText(QualityWord word) { return QualityWordName(word); }

const char* QualityBandName(QualityBand band) {
  constexpr const char* kBands[] = {"green", "yellow", "red"};
  return kBands[static_cast<std::size_t>(band)];
}

const char* PowerVerdictText(PowerVerdict verdict) {
  constexpr const char* kTexts[] = {"Power supply is not enough.", "Power supply is slightly not enough.",
                                    "Power supply is enough."};
  return kTexts[static_cast<std::size_t>(verdict)];
}

const char* PowerVerdictName(PowerVerdict verdict) {
  constexpr const char* kNames[] = {"not-enough", "slightly-not-enough", "enough"};
  return kNames[static_cast<std::size_t>(verdict)];
}

}  // namespace norvane::tool
