// The standard handles of norvane-drive on Windows: UTF-8 text reaches a
// console as UTF-16, whatever its code page, and a file or a pipe as the
// same UTF-8 bytes the Linux tool writes.
#pragma once

#include <windows.h>

#include <streambuf>
#include <string>

namespace norvane::tool {

// Whether a standard handle is a console (not a file, a pipe or nothing).
bool IsConsole(HANDLE handle);

// Writes what the stream is given to one standard handle at each flush. A
// character cut by a flush waits for its end.
class Win32OutputBuffer final : public std::streambuf {
 public:
  explicit Win32OutputBuffer(HANDLE handle) : m_handle(handle), m_console(IsConsole(handle)) {}
  ~Win32OutputBuffer() override { sync(); }

 protected:
  int overflow(int c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  // -1 when the handle takes no more; errno then tells why, as the C
  // library's writes tell it.
  int sync() override;

 private:
  bool WriteToConsole(std::size_t length);
  bool WriteToFile(std::size_t length);

  HANDLE m_handle;
  bool m_console;
  std::string m_pending;
};

// The length of the UTF-8 text's longest start that ends on a whole character.
std::size_t WholeCharacters(const std::string& text);

}  // namespace norvane::tool
