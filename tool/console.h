// The terminal a run talks to: its streams, whether a person sits at them,
// and the colours and characters it can show.
#pragma once

#include <iosfwd>
#include <string>

namespace norvane::tool {

struct Console {
  std::istream& in;
  std::ostream& out;  // results: text or JSON
  std::ostream& err;  // messages, prompts and progress
  bool inIsTerminal = false;
  bool outIsTerminal = false;
  bool errIsTerminal = false;
  bool utf8 = true;      // the locale shows UTF-8 block characters
  bool noColor = false;  // NO_COLOR is set
  bool dumb = false;     // TERM is dumb or unset: the terminal takes no escape sequences

  // Whether results may be drawn over in place, and progress on the messages' terminal.
  bool CanRedraw() const { return outIsTerminal && !dumb; }
  bool CanRedrawProgress() const { return errIsTerminal && !dumb; }
};

enum class Colour { Green, Yellow, Red, Grey, Bold };

// Paints text with ANSI colours, or leaves it as it is when colour is off.
class Palette {
 public:
  explicit Palette(bool on) : m_on(on) {}
  bool On() const { return m_on; }
  std::string Paint(const std::string& text, Colour colour) const;

 private:
  bool m_on;
};

// Whether results on `out` are coloured: "always", "never", or "auto" (a
// terminal that is not dumb, and NO_COLOR not set).
Palette PaletteFor(const Console& console, const std::string& when);

// Flushes the results and tells whether all of them were written; the
// reason of the last failure is then UnwrittenText().
bool WrittenOut(Console& console);
std::string UnwrittenText();

// Asks a yes-or-no question on the terminal; only "y" or "yes" is a yes.
bool AskYesNo(Console& console, const std::string& question);
// Waits for Enter; false at the end of the input.
bool WaitForEnter(Console& console, const std::string& prompt);

}  // namespace norvane::tool
