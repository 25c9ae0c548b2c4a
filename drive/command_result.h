// What became of a command sent to the drive: whether it went through, what
// the drive said when it did not, and how many bytes it moved. Sequences of
// commands report the same way.
#pragma once

#include <cstdint>

namespace norvane {

// The classification of a failed command's sense data.
enum class SenseClass : std::int32_t {
  SenseClean = 0,
  SenseFailed = 1,
  SenseBecomingReady = 2,
  SenseNeedsInitialize = 5,
  SenseLongWrite = 6,
  SenseNoMedium = 7,
  SenseCommTimeout = 8,
  SenseSelfConfigFailed = 9,
  SenseMediumChanged = 10,
  SenseResetOccurred = 11,
};

enum class CommandOutcome : std::uint8_t {
  Succeeded,     // the drive answered GOOD
  Failed,        // the drive answered with another status, its sense says why
  NotDelivered,  // the operating system could not carry the command to the drive or bring its answer back
};

// Sense key, additional sense code and qualifier, as the drive gave them.
struct SenseCode {
  std::uint8_t key = 0, asc = 0, ascq = 0;
  bool operator==(const SenseCode&) const = default;
};

// The SCSI status of a command the drive refused: its sense data says why.
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

struct CommandResult {
  CommandOutcome outcome = CommandOutcome::Succeeded;
  std::uint8_t operation = 0;                 // operation code of the command this result is about
  std::uint8_t status = 0;                    // the SCSI status, when Failed
  SenseClass sense = SenseClass::SenseClean;  // the class of the sense data, when Failed
  SenseCode senseCode{};                      // the sense data itself, when Failed
  std::uint32_t requested = 0;                // the transfer length the command asked for
  std::uint32_t transferred = 0;              // the bytes it actually moved
  std::uint32_t systemError = 0;              // the operating system's code, when NotDelivered (0: none given)

  bool Succeeded() const { return outcome == CommandOutcome::Succeeded; }
  // Succeeded and moved every byte asked for: data that can be taken at its
  // word. A short answer leaves the rest of a zero-filled buffer as zeros the
  // drive never sent. (INQUIRY may rightly answer less than its allocation
  // length; the vendor buffers are read with their exact lengths.)
  bool Complete() const { return Succeeded() && transferred == requested; }
  explicit operator bool() const { return Succeeded(); }
};

// A sequence that sends every command whatever the one before answered
// reports its last command that did not complete (the one the channel's last
// sense class and the system's last error describe), or else its last command.
inline CommandResult Combined(const CommandResult& sequence, const CommandResult& next) {
  return next.Complete() && !sequence.Complete() ? sequence : next;
}

}  // namespace norvane
