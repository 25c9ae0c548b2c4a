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

constexpr std::uint8_t kStatusCheckCondition = 0x02;
constexpr std::uint8_t kIllegalRequest = 0x05;

bool IsPermissionError(int code) { return code == EACCES || code == EPERM || code == EROFS; }

// Nothing is there to open: an empty letter, a node without a device behind it.
bool IsAbsence(int code) { return code == ENXIO || code == ENODEV || code == ENOENT; }

// A drive that answered its identity read, even with a refusal, has spoken for
// itself; one that was busy, not ready, or never reached has not.
bool Identified(const CommandResult& read) {
  return read.Succeeded() || (read.outcome == CommandOutcome::Failed && read.status == kStatusCheckCondition &&
                              read.senseCode.key == kIllegalRequest);
}

std::string Trimmed(const std::wstring& text, std::size_t start, std::size_t length) {
  if (start >= text.size()) return {};
  std::wstring field = text.substr(start, length);
  field.erase(field.find_last_not_of(L' ') + 1);
  field.erase(0, field.find_first_not_of(L' '));
  return Printable(field);
}

// The drive list's label, and the INQUIRY fields after its "name : ".
SelectedDrive Labelled(const DeviceNode& node) {
  const std::wstring name = WideName(node.name);
  const std::wstring label = BuildDeviceLabel(node.path, name);
  const std::wstring inquiry = label.substr(std::min(label.size(), name.size() + 3));
  return {node, Printable(label), Trimmed(inquiry, 0, 8), Trimmed(inquiry, 8, 16), Trimmed(inquiry, 24, 4)};
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

std::vector<SelectedDrive> Session::SupportedDrives(bool firstOnly) {
  std::vector<SelectedDrive> drives;
  std::string refused;
  m_unidentified.clear();
  for (const DeviceNode& node : m_source.Candidates()) {
    if (!OpenDevicePath(node.path)) {
      const SystemError error = m_source.LastError();
      if (IsPermissionError(error.code)) {
        refused += "\n  " + Shortened(Printable(error.text));
      } else if (!IsAbsence(error.code)) {
        Warn(OpenFailure(node) + "; passed over");
      }
      continue;
    }
    CloseDrive();
    CommandResult read;
    const std::wstring identity = ReadDeviceIdentity(node.path, read);
    if (!Identified(read)) {
      m_unidentified.push_back(DeviceName(node.name));
      Warn(DeviceName(node.name) + " did not identify itself; passed over:\n  " + Printable(Failure(read)));
      continue;
    }
    if (!IsSupportedDrive(identity)) continue;
    drives.push_back(Labelled(node));
    if (firstOnly) break;
  }
  if (!drives.empty()) return drives;
  if (refused.empty()) throw Stop{Exit::NoDrive, "no supported drive found"};
  throw Stop{Exit::NotPermitted, "no supported drive found; these could not be opened:" + refused +
                                     "\n(" + System().permissionAdvice + ")"};
}

std::string Session::OpenFailure(const DeviceNode& node) const {
  // The system's text names the node itself, in full; the message names it once, cut short.
  std::string reason = Printable(m_source.LastError().text);
  if (const std::string full = Printable(node.name); reason.starts_with(full + ": ")) reason.erase(0, full.size() + 2);
  return DeviceName(node.name) + ": " + (reason.empty() ? "cannot be opened" : reason);
}

void Session::StopAtOpenFailure(const DeviceNode& node) const {
  const std::string why = OpenFailure(node);
  if (IsPermissionError(m_source.LastError().code)) {
    throw Stop{Exit::NotPermitted, why + " (" + System().permissionAdvice + ")"};
  }
  throw Stop{Exit::NoDrive, why};
}

SelectedDrive Session::NamedDrive() {
  const std::optional<DeviceNode> node = m_source.Resolve(m_options.device);
  if (!node) throw Stop{Exit::NoDrive, "no drive is named " + DeviceName(m_options.device)};
  if (!OpenDevicePath(node->path)) StopAtOpenFailure(*node);
  CloseDrive();
  CommandResult read;
  const std::wstring identity = ReadDeviceIdentity(node->path, read);
  // A drive that did not answer is not known to be another one.
  if (!Identified(read)) StopAtFailure(Failure(read), "identifying " + DeviceName(node->name));
  if (!IsSupportedDrive(identity)) {
    throw Stop{Exit::NoDrive, DeviceName(node->name) + " is not a supported drive" +
                                  (identity.empty() ? "" : " (it reports \"" + Printable(identity) + "\")")};
  }
  return Labelled(*node);
}

// A drive that did not identify itself may be the one the user means.
SelectedDrive Session::OnlyDrive() {
  const std::vector<SelectedDrive> drives = SupportedDrives(false);
  if (drives.size() == 1 && m_unidentified.empty()) return drives.front();
  std::string list;
  for (const SelectedDrive& drive : drives) list += "\n  " + drive.label;
  for (const std::string& name : m_unidentified) list += "\n  " + name + " (did not identify itself)";
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
  DriveLock lock(m_selected.node.path);
  if (!lock.Held()) throw Stop{Exit::DriveBusy, DeviceName(m_selected.node.name) + " is in use by another program"};
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
  return result.Complete() ? std::string() : FailureText(result, m_source.LastError().text);
}

void Session::Require(const CommandResult& result, const std::string& doing) const {
  if (const std::string failure = Failure(result); !failure.empty()) StopAtFailure(failure, doing);
}

void Session::StopAtFailure(const std::string& failure, const std::string& doing) const {
  throw Stop{Exit::CommandFailed, doing + " failed:\n  " + Printable(failure)};
}

void Session::PrintJson(const Json& json) const { m_console.out << json.dump(2) << '\n'; }

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
}

void Session::Warn(const std::string& message) const { m_console.err << "norvane-drive: " << message << '\n'; }

}  // namespace norvane::tool
