// The commands a drive must receive for each user action, in order and byte
// for byte: one table for the window's actions and one for the tool's
// subcommands. The in-process tests check them against the emulated drive;
// the kernel path checks them against what reached SG_IO through Wine's
// and sg3_utils' pass-through.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drive/device_io.h"
#include "emulator/emulated_drive.h"

namespace norvane::test {

// The drives every run has: the quiet model (with real-time handling) and
// a general one. Their device nodes under Linux are sr0 and sr1.
inline constexpr char kQuietDrive = 'E';
inline constexpr char kGeneralDrive = 'G';

// One command as the drive receives it.
struct ExpectedCommand {
  char drive = kQuietDrive;
  std::array<std::uint8_t, kCdbLength> cdb{};
  DataDirection direction = DataDirection::None;
  std::uint32_t transferLength = 0;
  std::vector<std::uint8_t> dataOut;
  bool operator==(const ExpectedCommand&) const = default;
};
using Sequence = std::vector<ExpectedCommand>;

// Prints a sequence one command a line, for failure messages.
std::string Describe(const Sequence& sequence);

// A transfer of no bytes has no data phase whichever way it points: sg3_utils
// leaves it at SG_DXFER_NONE, Wine passes SG_DXFER_TO_DEV; both count as no
// data on either side of a comparison.
Sequence WithoutEmptyDirections(Sequence sequence);

// --- the window ---

enum class Page { Main, Settings, Status, Utility };

// What a person does to the window, as the driver of the shipped program
// and the in-process tests both do it.
struct UiStep {
  enum class Kind {
    SelectTab,    // `value` is the tab's index
    SelectDrive,  // `value` is the list's index
    Click,        // the button `value` of `page`
    StatusTick,   // one update of the Status page's timer
    Countdown,    // the bus power check's countdown, a tick per second of drive time, to its end
  };
  Kind kind;
  Page page = Page::Main;
  int value = 0;
};

inline constexpr int kAnswerOk = 1;      // IDOK
inline constexpr int kAnswerCancel = 2;  // IDCANCEL

struct WindowAction {
  std::string name;
  // The quiet drive's state before the action (on the bus, a disc in).
  std::function<void(emu::EmulatedDrive&)> setup;
  // Done before the commands are counted.
  std::vector<UiStep> prepare;
  std::vector<UiStep> run;
  int answer = kAnswerOk;  // every message box of the action gets it (a notice gets OK)
  Sequence expected;
};

// In the order they are done, on one window that the first one starts.
const std::vector<WindowAction>& WindowActions();

// --- the tool ---

struct ToolAction {
  std::string name;
  std::function<void(emu::EmulatedDrive&)> setup;
  // After `norvane-drive`; "{device}" stands for the quiet drive's node.
  std::vector<std::string> arguments;
  int exitCode = 0;
  Sequence expected;
};

const std::vector<ToolAction>& ToolActions();

}  // namespace norvane::test
