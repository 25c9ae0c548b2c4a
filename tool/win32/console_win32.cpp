#include "tool/win32/console_win32.h"

#include <cerrno>

namespace norvane::tool {
namespace {

int ErrnoOfWrite(DWORD code) {
  switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return EPIPE;
    default: return EIO;
  }
}

}  // namespace

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::size_t WholeCharacters(const std::string& text) {
  // Back from the end over at most three continuation bytes to the lead byte of the last character.
  std::size_t start = text.size();
  for (int continuation = 0; start > 0 && continuation < 3; ++continuation) {
    if ((static_cast<unsigned char>(text[start - 1]) & 0xC0) != 0x80) break;
    --start;
  }
  if (start == 0) return text.size();
  const auto lead = static_cast<unsigned char>(text[start - 1]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  const std::size_t present = text.size() - (start - 1);
  return present < length && length > 1 ? start - 1 : text.size();
}

int Win32OutputBuffer::overflow(int c) {
  if (c != traits_type::eof()) m_pending += static_cast<char>(c);
  return traits_type::not_eof(c);
}

std::streamsize Win32OutputBuffer::xsputn(const char* text, std::streamsize count) {
  m_pending.append(text, static_cast<std::size_t>(count));
  return count;
}

int Win32OutputBuffer::sync() {
  const std::size_t length = m_console ? WholeCharacters(m_pending) : m_pending.size();
  if (length == 0) return 0;
  const bool written = m_console ? WriteToConsole(length) : WriteToFile(length);
  m_pending.erase(0, length);
  return written ? 0 : -1;
}

bool Win32OutputBuffer::WriteToConsole(std::size_t length) {
  const int size = static_cast<int>(length);
  const int wideLength = MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, m_pending.data(), size, wide.data(), wideLength);
  for (std::size_t at = 0; at < wide.size();) {
    DWORD written = 0;
    if (!WriteConsoleW(m_handle, wide.data() + at, static_cast<DWORD>(wide.size() - at), &written, nullptr) ||
        written == 0) {
      errno = ErrnoOfWrite(GetLastError());
      return false;
    }
    at += written;
  }
  return true;
}

bool Win32OutputBuffer::WriteToFile(std::size_t length) {
  for (std::size_t at = 0; at < length;) {
    DWORD written = 0;
    if (!WriteFile(m_handle, m_pending.data() + at, static_cast<DWORD>(length - at), &written, nullptr) ||
        written == 0) {
      errno = ErrnoOfWrite(GetLastError());
      return false;
    }
    at += written;
  }
  return true;
}

}  // namespace norvane::tool
