// What norvane-drive says that depends on the operating system it runs on:
// how it names drives and rights, and how the drive layer's wide text
// becomes UTF-8.
#pragma once

#include <string>

namespace norvane::tool {

// Drive text and device names of the drive layer as UTF-8 bytes, not yet
// made printable: on Linux the wide text carries one byte a character; on
// Windows it is UTF-16, converted from the drive's bytes by the system's
// code page.
std::string Utf8Bytes(const std::wstring& text);

struct SystemTexts {
  const char* deviceOption;      // the help of --device
  const char* exitNotPermitted;  // what exit status 77 means
  const char* exitInterrupted;   // the exit statuses of an interrupted run, and what brings each
  const char* seeAlso;           // where the help sends the reader for more
  const char* powerCheckNote;    // what the check does about media change notification here
  const char* permissionAdvice;  // what to do about a drive the system would not open
};

const SystemTexts& System();

}  // namespace norvane::tool
