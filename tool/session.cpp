#include "tool/session.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ostream>

#include "drive/channel.h"
#include "drive/reads.h"
#include "tool/system_text.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr const char* kBusy = "the drive is in use by another program";
// The letter the maker's vendor identification begins with, as the bus power check tests it.
constexpr char kMakerInitial = 'N';

bool IsPermissionError(int code) { return code == EACCES || code == EPERM || code == EROFS; }

// Nothing is there to open: an empty letter, a node without a device behind
// it, or one that is no SCSI device at all.
bool IsAbsence(int code) { return code == ENXIO || code == ENODEV || code == ENOENT || code == ENOTTY; }

// The one mapping from the system's refusal to the shell's exit code, for
// opens and commands alike.
Exit ExitForSystemError(int code, Exit otherwise) {
  if (IsPermissionError(code)) return Exit::NotPermitted;
  if (code == EBUSY) return Exit::DriveBusy;
  return otherwise;
}

// A drive that answered its identity read in full, or refused it, has spoken
// for itself; one that was busy, not ready, never reached, or answered short
// (its name cut off) has not.
bool Identified(const CommandResult& read) {
  return read.Complete() || (read.outcome == CommandOutcome::Failed && read.status == kStatusCheckCondition &&
                             read.senseCode.key == kIllegalRequest);
}

std::string Trimmed(const std::wstring& text, std::size_t start, std::size_t length) {
  if (start >= text.size()) return {};
  std::wstring field = text.substr(start, length);
  field.erase(field.find_last_not_of(L' ') + 1);
  field.erase(0, field.find_first_not_of(L' '));
  return Printable(field);
}

}  // namespace

Session::Session(Console& console, Platform& platform, const GlobalOptions& options)
    : m_console(console),
      m_platform(platform),
      m_options(options),
      m_source(platform.Drives(options.emulate)),
      m_trace(m_source, console.err, options.verbosity,
              static_cast<std::uint32_t>(std::lround(options.timeoutSeconds))),
      m_palette(PaletteFor(console, options.color)),
      m_previousIo(InstalledDeviceIo()) {
  InstallDeviceIo(m_trace);
}

Session::~Session() {
  ReleaseMediaNotification();
  CloseDrive();
  InstallDeviceIo(m_previousIo);
}

// The drive list's label, and the INQUIRY fields after its "name : ".
std::optional<SelectedDrive> Session::Labelled(const DeviceNode& node, CommandResult& read) const {
  const std::wstring name = WideName(node.name);
  const std::wstring label = BuildDeviceLabel(node.path, name, read);
  if (!read.Succeeded()) return std::nullopt;  // blank fields would pass for the drive's answer
  const std::wstring inquiry = label.substr(std::min(label.size(), name.size() + 3));
  return SelectedDrive{node, Printable(label), Trimmed(inquiry, 0, 8), Trimmed(inquiry, 8, 16),
                       Trimmed(inquiry, 24, 4)};
}

// Another maker's drive may refuse the vendor read with any sense, "no disc"
// among them; its INQUIRY tells it from one of ours that is not ready yet.
// A read the drive did not refuse (the system's failure, a short answer) is
// left as it was: nothing more is sent.
bool Session::OfAnotherMaker(const DeviceNode& node, const CommandResult& identityRead) const {
  if (identityRead.outcome != CommandOutcome::Failed || identityRead.status != kStatusCheckCondition) return false;
  CommandResult inquiry;
  const std::optional<SelectedDrive> answered = Labelled(node, inquiry);
  return answered && !answered->vendor.starts_with(kMakerInitial);
}

NodeLook Session::LookAt(const DeviceNode& node, bool inquiryFirst) {
  const auto unusable = [&node](const std::string& reason, Exit code) {
    return NodeLook{std::nullopt, UnusableDrive{Echoed(node.name), reason, code}};
  };
  if (!OpenDevicePath(node.path)) {
    const SystemError error = m_source.LastError();
    if (IsAbsence(error.code)) return {};
    return unusable(OpenReason(node), ExitForSystemError(error.code, Exit::NoDrive));
  }
  CloseDrive();
  CommandResult read;
  if (inquiryFirst) {
    const std::optional<SelectedDrive> answered = Labelled(node, read);
    if (!answered) return unusable("did not answer its INQUIRY: " + Printable(Failure(read)), FailureCode(read));
    if (!answered->vendor.starts_with(kMakerInitial)) return {std::nullopt, std::nullopt, true};
  }
  const std::wstring identity = ReadDeviceIdentity(node.path, read);
  if (!Identified(read)) {
    if (!inquiryFirst && OfAnotherMaker(node, read)) return {std::nullopt, std::nullopt, true};
    return unusable("did not identify itself: " + Printable(Failure(read)), FailureCode(read));
  }
  if (!IsSupportedDrive(identity)) return {std::nullopt, std::nullopt, true};
  std::optional<SelectedDrive> drive = Labelled(node, read);
  if (!drive) return unusable("did not identify itself: " + Printable(Failure(read)), FailureCode(read));
  return {std::move(drive), std::nullopt};
}

std::vector<SelectedDrive> Session::FindDrives(bool firstOnly) {
  std::vector<SelectedDrive> drives;
  m_unusable.clear();
  for (const DeviceNode& node : m_source.Candidates()) {
    NodeLook look = LookAt(node, false);
    if (look.unusable) m_unusable.push_back(std::move(*look.unusable));
    if (!look.drive) continue;
    drives.push_back(std::move(*look.drive));
    if (firstOnly) break;
  }
  return drives;
}

std::vector<SelectedDrive> Session::SupportedDrives(bool firstOnly) {
  std::vector<SelectedDrive> drives = FindDrives(firstOnly);
  std::string refused;
  for (const UnusableDrive& drive : m_unusable) {
    if (drive.code == Exit::NotPermitted) {
      refused += "\n  " + drive.name + ": " + drive.reason;
    } else {
      Warn(drive.name + ": " + drive.reason + "; passed over");
    }
  }
  if (!drives.empty()) return drives;
  if (refused.empty()) throw Stop{Exit::NoDrive, "no supported drive found"};
  throw Stop{Exit::NotPermitted, "no supported drive found; these could not be opened:" + refused + "\n(" +
                                     System().permissionAdvice + ")"};
}

std::string Session::OpenReason(const DeviceNode& node) const {
  const SystemError error = m_source.LastError();
  // The system's text names the node itself, in full; the message names it once, cut short.
  std::string reason = Printable(OneLine(error.text));
  if (const std::string full = Printable(node.name); reason.starts_with(full + ": ")) reason.erase(0, full.size() + 2);
  if (reason.empty()) reason = "cannot be opened";
  // Windows' own words for a busy drive already say who has it.
  const bool saysWho = reason.find("another program") != std::string::npos;
  if (error.code == EBUSY && !saysWho) reason += " (" + std::string(kBusy) + ")";
  return reason;
}

std::string Session::OpenFailure(const DeviceNode& node) const { return Echoed(node.name) + ": " + OpenReason(node); }

void Session::StopAtOpenFailure(const DeviceNode& node) const {
  const std::string why = OpenFailure(node);
  const Exit code = ExitForSystemError(m_source.LastError().code, Exit::NoDrive);
  if (code == Exit::NotPermitted) throw Stop{code, why + " (" + System().permissionAdvice + ")"};
  throw Stop{code, why};
}

SelectedDrive Session::NamedDrive() {
  const std::optional<DeviceNode> node = m_source.Resolve(m_options.device);
  if (!node) throw Stop{Exit::NoDrive, "no drive is named " + Echoed(m_options.device)};
  // A letter of a hard disk or a network share must not get a drive's commands.
  if (node->letter != 0 && !InstalledDeviceIo().IsOpticalDrive(node->letter)) {
    throw Stop{Exit::NoDrive, std::string(1, node->letter) + ": is not a CD/DVD drive"};
  }
  if (!OpenDevicePath(node->path)) StopAtOpenFailure(*node);
  CloseDrive();
  CommandResult read;
  const std::wstring identity = ReadDeviceIdentity(node->path, read);
  const std::string identifying = "identifying " + Echoed(node->name);
  if (!Identified(read)) {
    if (OfAnotherMaker(*node, read)) throw Stop{Exit::NoDrive, Echoed(node->name) + " is not a supported drive"};
    // A drive that did not answer is not known to be another one.
    StopAtFailure(Failure(read), identifying, FailureCode(read));
  }
  if (!IsSupportedDrive(identity)) {
    throw Stop{Exit::NoDrive, Echoed(node->name) + " is not a supported drive" +
                                  (identity.empty() ? "" : " (it reports \"" + Printable(identity) + "\")")};
  }
  std::optional<SelectedDrive> drive = Labelled(*node, read);
  if (!drive) StopAtFailure(Failure(read), identifying, FailureCode(read));
  return std::move(*drive);
}

// Any drive present may be the one the user means: one that did not identify
// itself, or that could not even be opened (no access, held by another
// program), as much as one that did.
SelectedDrive Session::OnlyDrive() {
  const std::vector<SelectedDrive> drives = SupportedDrives(false);
  if (drives.size() == 1 && m_unusable.empty()) return drives.front();
  std::string list;
  for (const SelectedDrive& drive : drives) list += "\n  " + drive.label;
  for (const UnusableDrive& drive : m_unusable) list += "\n  " + drive.name + " (" + drive.reason + ")";
  throw Stop{Exit::Usage, "more than one drive may be meant; name the one to change with --device:" + list};
}

const SelectedDrive& Session::SelectDrive(Picks picks) {
  if (!m_options.device.empty()) {
    m_selected = NamedDrive();
  } else {
    m_selected = picks == Picks::Changing ? OnlyDrive() : SupportedDrives(true).front();
  }
  if (!OpenDevicePath(m_selected.node.path)) StopAtOpenFailure(m_selected.node);
  return m_selected;
}

DriveLock Session::LockDrive() const {
  // Keyed on the drive, not on the name it was given: two names of one drive exclude each other.
  DriveLock lock(m_source.DrivePath(m_selected.node));
  if (!lock.Held()) throw Stop{Exit::DriveBusy, Printable(m_selected.node.name) + " is in use by another program"};
  return lock;
}

void Session::RequireWriteBuffer(const std::string& doing) const {
  if (const std::optional<std::string> refusal = m_source.WriteBufferRefusal()) {
    throw Stop{Exit::NotPermitted, "cannot " + doing + ": " + *refusal};
  }
}

void Session::Confirm(const std::string& question, bool yes) {
  if (yes) return;
  if (!m_console.inIsTerminal) {
    throw Stop{Exit::NotConfirmed, "not confirmed: \"" + question + "\" (" + m_selected.label +
                                       ") needs an answer, and there is no terminal to ask on; pass --yes to give it"};
  }
  m_console.err << "Drive: " << m_selected.label << '\n';
  if (!AskYesNo(m_console, question)) throw Stop{Exit::NotConfirmed, "not confirmed: nothing was changed"};
}

std::string Session::Failure(const CommandResult& result) const {
  return result.Complete() ? std::string() : FailureText(result, OneLine(m_source.LastError().text));
}

Exit Session::FailureCode(const CommandResult& result) const {
  if (result.outcome != CommandOutcome::NotDelivered) return Exit::CommandFailed;
  return ExitForSystemError(m_source.LastError().code, Exit::CommandFailed);
}

void Session::Require(const CommandResult& result, const std::string& doing) const {
  if (const std::string failure = Failure(result); !failure.empty()) StopAtFailure(failure, doing, FailureCode(result));
}

void Session::StopAtFailure(const std::string& failure, const std::string& doing, Exit code) const {
  throw Stop{code, doing + " failed:\n  " + Printable(failure)};
}

void Session::PrintJson(const Json& json, bool line) {
  m_console.out << (line ? json.dump() : json.dump(2)) << '\n';
  m_jsonAnswered = true;
}

void Session::PrintJsonFailure(const Stop& stop, bool line) {
  if (m_jsonAnswered || stop.message.empty()) return;
  Json json = m_selected.label.empty() ? Json::object() : DriveJson();
  json["error"] = stop.message;
  PrintJson(json, line);
}

Json Session::DriveJson() const {
  Json json;
  json["device"] = Printable(m_selected.node.name);
  json["label"] = m_selected.label;
  json["vendor"] = m_selected.vendor;
  json["product"] = m_selected.product;
  json["revision"] = m_selected.revision;
  return json;
}

void Session::RequireWritten() const {
  if (!WrittenOut(m_console)) throw Stop{Exit::CommandFailed, UnwrittenText()};
  if (m_platform.OutputGone()) throw Stop{Exit::CommandFailed, "standard output is closed"};
}

void Session::Warn(const std::string& message) const { m_console.err << "norvane-drive: " << message << '\n'; }

void ChangeUnderWay::End(Stop outcome) {
  m_holding = false;
  if (const int status = m_platform.ReleaseInterrupts()) {
    outcome.code = static_cast<Exit>(status);
    outcome.message += (outcome.message.empty() ? "" : "\nnorvane-drive: ") +
                       std::string("interrupted: the change was let finish first");
  }
  if (outcome.code != Exit::Ok) throw outcome;
}

}  // namespace norvane::tool
