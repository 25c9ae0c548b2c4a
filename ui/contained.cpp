#include "ui/contained.h"

#include <cwchar>
#include <exception>
#include <iterator>
#include <new>

namespace norvane::ui {
namespace {

// The exception's own words, widened into `text` without allocating: the
// report must work when memory has run out.
void Describe(wchar_t* text, std::size_t size) noexcept {
  const char* what = "an exception of a type not derived from std::exception";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    what = "std::bad_alloc (out of memory)";
  } catch (const std::exception& exception) {
    what = exception.what();
  } catch (...) {
  }
  std::size_t i = 0;
  for (; i + 1 < size && what[i] != '\0'; ++i) text[i] = static_cast<unsigned char>(what[i]);
  text[i] = L'\0';
}

}  // namespace

void ReportEscapedException(const wchar_t* procedure, UINT message) noexcept {
  wchar_t what[160];
  Describe(what, std::size(what));
  wchar_t report[320];
  std::swprintf(report, std::size(report),
                L"norvane: %ls escaped the handling of message 0x%04X in %ls; the message got the default answer\n",
                what, message, procedure);
  OutputDebugStringW(report);
}

void ReportEscapedException(const wchar_t* method) noexcept {
  wchar_t what[160];
  Describe(what, std::size(what));
  wchar_t report[320];
  std::swprintf(report, std::size(report), L"norvane: %ls escaped %ls; the call failed\n", what, method);
  OutputDebugStringW(report);
}

}  // namespace norvane::ui
