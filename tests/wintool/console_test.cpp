// What a person at a console sees of norvane-drive.exe: characters, never
// bytes of a code page; colours as the console's own attributes, through
// virtual-terminal sequences, unless NO_COLOR says otherwise.
#include <gtest/gtest.h>

#include <ostream>

#include "program_support.h"
#include "tool/win32/console_win32.h"

namespace norvane::test {
namespace {

// A screen buffer of the test's console, as the program's standard output.
class ScreenBuffer {
 public:
  ScreenBuffer() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    m_handle = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                         CONSOLE_TEXTMODE_BUFFER, nullptr);
  }
  ~ScreenBuffer() { CloseHandle(m_handle); }
  HANDLE Handle() const { return m_handle; }

  // The characters of a row, right-trimmed.
  std::wstring Row(SHORT row) const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_handle, &info);
    std::wstring line(static_cast<std::size_t>(info.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(m_handle, line.data(), static_cast<DWORD>(line.size()), {0, row}, &read);
    line.resize(read);
    line.erase(line.find_last_not_of(L' ') + 1);
    return line;
  }
  DWORD Mode() const {
    DWORD mode = 0;
    GetConsoleMode(m_handle, &mode);
    return mode;
  }
  WORD Attribute(SHORT column, SHORT row) const {
    WORD attribute = 0;
    DWORD read = 0;
    ReadConsoleOutputAttribute(m_handle, &attribute, 1, {column, row}, &read);
    return attribute;
  }
  // The first row that holds `text`, or -1.
  SHORT RowWith(const std::wstring& text) const {
    for (SHORT row = 0; row < 20; ++row) {
      if (Row(row).find(text) != std::wstring::npos) return row;
    }
    return -1;
  }

 private:
  HANDLE m_handle;
};

class ConsoleText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UseOwnConsole(); }
};

TEST_F(ConsoleText, ACharacterCutByAFlushArrivesWhole) {
  ScreenBuffer screen;
  tool::Win32OutputBuffer buffer(screen.Handle());
  std::ostream out(&buffer);
  out << "a\xE2\x96" << std::flush;  // the first two bytes of U+2591
  out << "\x91"
         "\xE3\x83\x89\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x96"
      << std::flush;
  EXPECT_EQ(screen.Row(0), L"a\u2591\u30C9\u30E9\u30A4\u30D6");
}

// Windows 10 and later take the colour sequences and show the colours;
// Wine's console shows the sequences as they are. Either way they are the
// tool's, and NO_COLOR leaves them out.
bool Coloured(const ScreenBuffer& screen, SHORT row, std::size_t bar) {
  return screen.Row(row).find(L"\x1b[90m\u2591\u2591") != std::wstring::npos ||
         screen.Attribute(static_cast<SHORT>(bar), row) == FOREGROUND_INTENSITY;
}

TEST_F(ConsoleText, TheBarInCharactersAndColours) {
  for (const bool noColor : {false, true}) {
    SCOPED_TRACE(noColor ? "NO_COLOR=1" : "colours");
    SetEnvironmentVariableW(L"NO_COLOR", noColor ? L"1" : nullptr);
    ScreenBuffer screen;
    const DWORD mode = screen.Mode();
    Program program({"--emulate", "status"}, screen.Handle());
    ASSERT_EQ(program.Finish(), 0u);
    const SHORT row = screen.RowWith(L"Error indicator");
    ASSERT_GE(row, 0) << "nothing shown";
    const std::wstring line = screen.Row(row);
    const std::size_t bar = line.find(L"\u2591\u2591");
    ASSERT_NE(bar, std::wstring::npos) << "the unlit segments as characters: " << ::testing::PrintToString(line);
    EXPECT_EQ(Coloured(screen, row, bar), !noColor) << ::testing::PrintToString(line);
    EXPECT_EQ(screen.Mode(), mode) << "the console's mode is given back";
  }
  SetEnvironmentVariableW(L"NO_COLOR", nullptr);
}

}  // namespace
}  // namespace norvane::test
