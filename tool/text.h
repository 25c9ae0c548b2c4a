// Text between the drive layer and the terminal.
#pragma once

#include <string>

#include "drive/quality.h"
#include "drive/reads.h"

namespace norvane::tool {

// Drive text and device names as UTF-8 that is safe to print (Utf8Bytes
// tells how the layer's wide text becomes bytes); bytes that are no valid
// UTF-8 and control characters, C0 and C1 alike (a hostile drive could send
// escape sequences), become '?'.
std::string Printable(const std::wstring& text);
// The same for bytes: a path from the command line.
std::string Printable(const std::string& bytes);
// Printable text cut to a length a message can carry, at a character's end.
std::string Shortened(const std::string& printable);
// Bytes a message echoes from the command line or a device name: printable,
// and cut short.
std::string Echoed(const std::string& bytes);
// The system's words for an error on one line, to stand inside a sentence:
// each line break, with the spaces around it, becomes one space, and none
// is left at either end.
std::string OneLine(const std::string& text);
// A device name as the drive layer takes it, one character a byte.
std::wstring WideName(const std::string& name);

// The names the command line and the output use for the settings.
const char* QuietModeName(QuietModeCode code);
const char* ReadModeName(ReadModeCode code);
// False when the name is none of the names above.
bool QuietModeNamed(const std::string& name, QuietModeCode& code);
bool ReadModeNamed(const std::string& name, ReadModeCode& code);
const char* OnOff(bool on);

const char* QualityWordText(QualityWord word);
const char* QualityBandName(QualityBand band);
const char* PowerVerdictText(PowerVerdict verdict);
const char* PowerVerdictName(PowerVerdict verdict);

}  // namespace norvane::tool
