#include "program_support.h"

#include <cwctype>
#include <fstream>
#include <sstream>
#include <thread>

namespace norvane::test {
namespace {

namespace fs = std::filesystem;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

fs::path Folder() {
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  return fs::path(module).parent_path();
}

// The command line of the Windows convention: each argument quoted, quotes in
// it escaped, and backslashes doubled where a quote follows them (E:\ ends
// with one, ahead of the closing quote).
std::wstring CommandLine(const fs::path& program, const std::vector<std::string>& arguments) {
  std::wstring line = L"\"" + program.wstring() + L"\"";
  for (const std::string& argument : arguments) {
    line += L" \"";
    std::size_t backslashes = 0;
    for (wchar_t c : Wide(argument)) {
      if (c == L'"') line += std::wstring(backslashes + 1, L'\\');
      backslashes = c == L'\\' ? backslashes + 1 : 0;
      line += c;
    }
    line += std::wstring(backslashes, L'\\') + L"\"";
  }
  return line;
}

HANDLE Inheritable(const fs::path& file, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL WINAPI PassOverCtrlC(DWORD event) { return event == CTRL_C_EVENT; }

int runs = 0;

}  // namespace

void UseOwnConsole() {
  FreeConsole();
  AllocConsole();
  SetConsoleCtrlHandler(PassOverCtrlC, TRUE);
}

std::string BytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

HANDLE ConsoleInputWith(const std::wstring& typed) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  FlushConsoleInputBuffer(input);
  std::vector<INPUT_RECORD> keys;
  for (wchar_t c : typed) {
    for (const BOOL down : {TRUE, FALSE}) {
      INPUT_RECORD key{};
      key.EventType = KEY_EVENT;
      key.Event.KeyEvent.bKeyDown = down;
      key.Event.KeyEvent.wRepeatCount = 1;
      key.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : static_cast<WORD>(std::towupper(c));
      key.Event.KeyEvent.uChar.UnicodeChar = c;
      keys.push_back(key);
    }
  }
  DWORD written = 0;
  WriteConsoleInputW(input, keys.data(), static_cast<DWORD>(keys.size()), &written);
  return input;
}

Program::Program(const std::vector<std::string>& arguments, HANDLE output, HANDLE input) {
  const std::string name = "norvane-drive-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
  m_out = fs::temp_directory_path() / (name + ".out");
  m_err = fs::temp_directory_path() / (name + ".err");
  HANDLE out = Inheritable(m_out, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = Inheritable(m_err, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input != nullptr ? input : in;
  startup.hStdOutput = output != nullptr ? output : out;
  startup.hStdError = output != nullptr ? output : err;
  std::wstring line = CommandLine(Folder() / "norvane-drive.exe", arguments);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &m_process)) {
    m_process = {};
  }
  for (HANDLE handle : {out, err, in}) CloseHandle(handle);
}

Program::~Program() {
  Finish(std::chrono::seconds(10));
  if (m_process.hProcess != nullptr) {
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
  }
  std::error_code ignored;
  fs::remove(m_out, ignored);
  fs::remove(m_err, ignored);
}

bool Program::Shows(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (Out().find(text) != std::string::npos || Err().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool Program::EndsWithin(std::chrono::milliseconds limit) const {
  return m_process.hProcess == nullptr ||
         WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

DWORD Program::Finish(std::chrono::milliseconds limit) {
  if (m_process.hProcess == nullptr) return STILL_ACTIVE;
  if (!EndsWithin(limit)) {
    TerminateProcess(m_process.hProcess, 1);
    WaitForSingleObject(m_process.hProcess, INFINITE);
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(m_process.hProcess, &code);
  return code;
}

Finished RunProgram(const std::vector<std::string>& arguments) {
  Program program(arguments);
  const DWORD code = program.Finish();
  return {code, program.Out(), program.Err()};
}

}  // namespace norvane::test
