#include "tool/session.h"

#include <cerrno>
#include <ostream>

#include "drive/channel.h"
#include "drive/reads.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

bool IsPermissionError(int code) { return code == EACCES || code == EPERM || code == EROFS; }

}  // namespace

Session::Session(Console& console, Platform& platform, const GlobalOptions& options)
    : console_(console),
      platform_(platform),
      options_(options),
      source_(platform.Drives(options.emulate)),
      journal_(source_),
      palette_(PaletteFor(console, options.color)),
      previousIo_(InstalledDeviceIo()) {
  InstallDeviceIo(journal_);
}

Session::~Session() {
  ReleaseMediaNotification();
  CloseDrive();
  InstallDeviceIo(previousIo_);
}

std::vector<SelectedDrive> Session::SupportedDrives(bool firstOnly) {
  std::vector<SelectedDrive> drives;
  std::string refused;
  for (const DeviceNode& node : source_.Candidates()) {
    if (!OpenDevicePath(node.path)) {
      const SystemError error = source_.LastError();
      if (IsPermissionError(error.code)) refused += "\n  " + error.text;
      continue;
    }
    CloseDrive();
    if (!IsSupportedDrive(ReadDeviceIdentity(node.path))) continue;
    drives.push_back({node, Printable(BuildDeviceLabel(node.path, WidePath(node.name)))});
    if (firstOnly) break;
  }
  if (!drives.empty()) return drives;
  if (refused.empty()) throw Stop{Exit::NoDrive, "no supported drive found"};
  throw Stop{Exit::NotPermitted, "no supported drive found; these could not be opened:" + refused +
                                     "\n(see PERMISSIONS in norvane-drive(1))"};
}

void Session::StopAtOpenFailure(const DeviceNode& node) const {
  const SystemError error = source_.LastError();
  const std::string name = Printable(node.name);
  const std::string text = Printable(error.text);
  const std::string why = text.starts_with(name) ? text : name + ": " + (text.empty() ? "cannot be opened" : text);
  if (IsPermissionError(error.code)) throw Stop{Exit::NotPermitted, why + " (see PERMISSIONS in norvane-drive(1))"};
  throw Stop{Exit::NoDrive, why};
}

const SelectedDrive& Session::SelectDrive() {
  if (options_.device.empty()) {
    selected_ = SupportedDrives(true).front();
  } else {
    const std::optional<DeviceNode> node = source_.Resolve(options_.device);
    if (!node) throw Stop{Exit::NoDrive, "no drive is named " + Printable(options_.device)};
    if (!OpenDevicePath(node->path)) StopAtOpenFailure(*node);
    CloseDrive();
    const std::wstring identity = ReadDeviceIdentity(node->path);
    if (!IsSupportedDrive(identity)) {
      throw Stop{Exit::NoDrive, Printable(node->name) + " is not a supported drive" +
                                    (identity.empty() ? "" : " (it reports \"" + Printable(identity) + "\")")};
    }
    selected_ = {*node, Printable(BuildDeviceLabel(node->path, WidePath(node->name)))};
  }
  if (!OpenDevicePath(selected_.node.path)) StopAtOpenFailure(selected_.node);
  return selected_;
}

void Session::RequireWriteBuffer(const std::string& doing) const {
  if (const std::optional<std::string> refusal = source_.WriteBufferRefusal()) {
    throw Stop{Exit::NotPermitted, "cannot " + doing + ": " + *refusal};
  }
}

void Session::Confirm(const std::string& question, bool yes) {
  if (yes) return;
  if (!console_.inIsTerminal) {
    throw Stop{Exit::NotConfirmed, "not confirmed: \"" + question +
                                       "\" needs an answer, and there is no terminal to ask on; pass --yes to give it"};
  }
  if (!AskYesNo(console_, question)) throw Stop{Exit::NotConfirmed, "not confirmed: nothing was changed"};
}

void Session::RequireNoFailures(std::size_t mark, const std::string& doing) const {
  const std::vector<CommandFailure> failures = journal_.FailuresSince(mark);
  if (failures.empty()) return;
  std::string message = doing + " failed:";
  for (const CommandFailure& failure : failures) message += "\n  " + Printable(failure.what);
  throw Stop{Exit::CommandFailed, message};
}

void Session::PrintJson(const Json& json) const { console_.out << json.dump(2) << '\n'; }

Json Session::DriveJson() const {
  Json json;
  json["device"] = Printable(selected_.node.name);
  json["label"] = selected_.label;
  return json;
}

}  // namespace norvane::tool
