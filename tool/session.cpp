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
    : m_console(console),
      m_platform(platform),
      m_options(options),
      m_source(platform.Drives(options.emulate)),
      m_trace(options.trace ? std::make_unique<CommandTrace>(m_source, console.err) : nullptr),
      m_palette(PaletteFor(console, options.color)),
      m_previousIo(InstalledDeviceIo()) {
  InstallDeviceIo(m_trace ? *m_trace : m_source.Io());
}

Session::~Session() {
  ReleaseMediaNotification();
  CloseDrive();
  InstallDeviceIo(m_previousIo);
}

std::vector<SelectedDrive> Session::SupportedDrives(bool firstOnly) {
  std::vector<SelectedDrive> drives;
  std::string refused;
  for (const DeviceNode& node : m_source.Candidates()) {
    if (!OpenDevicePath(node.path)) {
      const SystemError error = m_source.LastError();
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
  const SystemError error = m_source.LastError();
  const std::string name = Printable(node.name);
  const std::string text = Printable(error.text);
  const std::string why = text.starts_with(name) ? text : name + ": " + (text.empty() ? "cannot be opened" : text);
  if (IsPermissionError(error.code)) throw Stop{Exit::NotPermitted, why + " (see PERMISSIONS in norvane-drive(1))"};
  throw Stop{Exit::NoDrive, why};
}

const SelectedDrive& Session::SelectDrive() {
  if (m_options.device.empty()) {
    m_selected = SupportedDrives(true).front();
  } else {
    const std::optional<DeviceNode> node = m_source.Resolve(m_options.device);
    if (!node) throw Stop{Exit::NoDrive, "no drive is named " + Printable(m_options.device)};
    if (!OpenDevicePath(node->path)) StopAtOpenFailure(*node);
    CloseDrive();
    const std::wstring identity = ReadDeviceIdentity(node->path);
    if (!IsSupportedDrive(identity)) {
      throw Stop{Exit::NoDrive, Printable(node->name) + " is not a supported drive" +
                                    (identity.empty() ? "" : " (it reports \"" + Printable(identity) + "\")")};
    }
    m_selected = {*node, Printable(BuildDeviceLabel(node->path, WidePath(node->name)))};
  }
  if (!OpenDevicePath(m_selected.node.path)) StopAtOpenFailure(m_selected.node);
  return m_selected;
}

void Session::RequireWriteBuffer(const std::string& doing) const {
  if (const std::optional<std::string> refusal = m_source.WriteBufferRefusal()) {
    throw Stop{Exit::NotPermitted, "cannot " + doing + ": " + *refusal};
  }
}

void Session::Confirm(const std::string& question, bool yes) {
  if (yes) return;
  if (!m_console.inIsTerminal) {
    throw Stop{Exit::NotConfirmed, "not confirmed: \"" + question +
                                       "\" needs an answer, and there is no terminal to ask on; pass --yes to give it"};
  }
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
  return json;
}

}  // namespace norvane::tool
