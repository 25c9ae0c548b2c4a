// A drive's text in the code page of a Japanese Windows (932) reaches a
// redirected file as UTF-8 and the console as the same characters.
// Run with LANG=ja_JP.UTF-8, which gives Wine's programs that code page.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "cli_test_support.h"
#include "program_support.h"
#include "tool/win32/console_win32.h"

namespace norvane::test {
namespace {

// "ドライブ" as a Japanese system's drive would carry it, in Shift-JIS.
const std::string kShiftJisProduct = "\x83\x68\x83\x89\x83\x43\x83\x75";
const std::string kUtf8Product = "\xE3\x83\x89\xE3\x83\xA9\xE3\x82\xA4\xE3\x83\x96";

class JapaneseText : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    ASSERT_EQ(GetACP(), 932u) << "run with LANG=ja_JP.UTF-8";
    AttachDrives();
    Drive().OverrideInquiry(Inquiry(kShiftJisProduct));
  }

  // Runs the tool with its standard output on `handle`, as the program does.
  void RunOn(HANDLE handle, const std::vector<std::string>& arguments) {
    tool::Win32OutputBuffer buffer(handle);
    std::ostream stream(&buffer);
    std::istringstream none;
    std::ostringstream messages;
    tool::Console console{none, stream, messages};
    console.outIsTerminal = tool::IsConsole(handle);
    ASSERT_EQ(tool::RunNorvaneDrive(arguments, console, platform), 0) << messages.str();
  }
};

TEST_F(JapaneseText, ReachesAFileAsUtf8) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "norvane-drive-japanese.json";
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  RunOn(handle, {"--json", "-d", "E", "settings"});
  CloseHandle(handle);
  const std::string bytes = BytesOf(file);
  std::filesystem::remove(file);
  const nlohmann::json settings = nlohmann::json::parse(bytes);
  EXPECT_EQ(settings["product"], kUtf8Product);
  EXPECT_EQ(settings["label"], "E : NORVANE " + kUtf8Product);
}

TEST_F(JapaneseText, ReachesTheConsoleAsCharacters) {
  UseOwnConsole();
  SECURITY_ATTRIBUTES plain{sizeof plain, nullptr, FALSE};
  HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &plain,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
  RunOn(screen, {"-d", "E", "list"});
  wchar_t text[40] = {};
  DWORD read = 0;
  ReadConsoleOutputCharacterW(screen, text, 16, {0, 0}, &read);
  CloseHandle(screen);
  EXPECT_EQ(std::wstring(text, read), L"E : NORVANE \u30C9\u30E9\u30A4\u30D6");
}

}  // namespace
}  // namespace norvane::test
