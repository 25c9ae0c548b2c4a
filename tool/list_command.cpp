// list: the drive list of the window; with --watch, the drives as they come
// and go.
#include <chrono>
#include <cmath>
#include <optional>
#include <ostream>

#include "drive/channel.h"
#include "tool/commands.h"
#include "tool/system_text.h"
#include "tool/text.h"

namespace norvane::tool {

namespace {

Json DriveEntry(const SelectedDrive& drive) {
  return {{"device", Printable(drive.node.name)},
          {"label", drive.label},
          {"vendor", drive.vendor},
          {"product", drive.product},
          {"revision", drive.revision}};
}

void PrintList(Session& session, const std::vector<SelectedDrive>& drives) {
  const std::vector<UnusableDrive>& unusable = session.Unusable();
  if (!session.Options().json) {
    for (const SelectedDrive& drive : drives) session.Terminal().out << drive.label << '\n';
    for (const UnusableDrive& drive : unusable) {
      session.Terminal().out << drive.name << " : unusable: " << drive.reason << '\n';
    }
    return;
  }
  // A script reading the list gets a list, an empty one when there is no drive.
  Json list = Json::array();
  for (const SelectedDrive& drive : drives) list.push_back(DriveEntry(drive));
  for (const UnusableDrive& drive : unusable) list.push_back({{"device", drive.name}, {"error", drive.reason}});
  session.PrintJson(list);
}

// The named drive, or a refusal: --device is never passed over.
Exit ListNamedDrive(Session& session) {
  PrintList(session, {session.SelectDrive()});
  return Exit::Ok;
}

// What the watch last found at a node: the drive it read there (kept while
// the drive does not answer, to tell whether the same one answers again),
// and whether it answers now; or another maker's drive, never shown.
struct Shown {
  std::optional<SelectedDrive> drive;
  std::string unreadable;  // why it does not answer; empty while it does
  bool foreign = false;
};

// The nodes shown, in the order of the candidates.
using ShownNodes = std::vector<std::pair<std::string, Shown>>;

std::optional<Shown> ShownAt(const ShownNodes& nodes, const std::string& name) {
  for (const auto& [at, shown] : nodes) {
    if (at == name) return shown;
  }
  return std::nullopt;
}

// Another drive at the same node (one unplugged, another plugged in between
// two looks) is one leaving and one arriving.
bool SameDrive(const SelectedDrive& a, const SelectedDrive& b) {
  return a.node.name == b.node.name && a.label == b.label;
}

enum class Change { Arrived, Left, Unreadable, Readable };

// "+ label" for a drive that arrived, "- label" for one that left, "! name :
// unreadable: reason" for one present that does not answer, "= label" for
// one that answers again; a JSON line each with --json.
void PrintChange(Session& session, Change change, const std::string& name, const Shown& shown) {
  static constexpr struct {
    const char* mark;
    const char* event;
  } kChanges[] = {{"+ ", "arrived"}, {"- ", "left"}, {"! ", "unreadable"}, {"= ", "readable"}};
  const auto& [mark, event] = kChanges[static_cast<int>(change)];
  const bool unreadable = change == Change::Unreadable;
  const std::string device = Printable(name);
  if (session.Options().json) {
    Json line = {{"event", event}};
    if (shown.drive && !unreadable) {
      line.update(DriveEntry(*shown.drive));
    } else {
      line["device"] = device;
    }
    if (unreadable) line["error"] = shown.unreadable;
    session.Terminal().out << line.dump() << std::endl;
  } else if (unreadable || !shown.drive) {
    session.Terminal().out << mark << device << (unreadable ? " : unreadable: " + shown.unreadable : "") << std::endl;
  } else {
    session.Terminal().out << mark << shown.drive->label << std::endl;
  }
}

// What a look at a node shows, against what the watch showed there before
// (nothing, when the node was not shown).
void PrintChanges(Session& session, const std::string& name, std::optional<Shown> before, const Shown& now) {
  if (before && before->foreign) before.reset();
  if (now.foreign) {
    if (before) PrintChange(session, Change::Left, name, *before);
    return;
  }
  const bool wasReadable = before && before->unreadable.empty();
  if (!now.unreadable.empty()) {
    if (!before || wasReadable) PrintChange(session, Change::Unreadable, name, now);
    return;
  }
  const bool same = before && before->drive && SameDrive(*before->drive, *now.drive);
  if (same && wasReadable) return;
  if (same) return PrintChange(session, Change::Readable, name, now);
  if (before && before->drive) PrintChange(session, Change::Left, name, *before);
  PrintChange(session, Change::Arrived, name, now);
}

// The nodes the watch looks at: the named drive's alone, or every candidate.
// A letter that is no CD/DVD drive gets no command.
std::vector<DeviceNode> WatchedNodes(Session& session) {
  if (session.Options().device.empty()) return session.Source().Candidates();
  const std::optional<DeviceNode> node = session.Source().Resolve(session.Options().device);
  if (!node) throw Stop{Exit::NoDrive, "no drive is named " + Echoed(session.Options().device)};
  if (node->letter != 0 && !InstalledDeviceIo().IsOpticalDrive(node->letter)) return {};
  return {*node};
}

// The drives present at the start count as arrived. Then each word from the
// system that a device came or went has every node looked at again; a tick
// without one, only the nodes that appeared and the drives that did not
// answer, so that a drive at work is not disturbed, nor asked again and
// again. Another maker's drive gets its INQUIRY and nothing of the vendor's.
Exit Watch(Session& session, const WatchOptions& options) {
  using DrivesWait = Platform::DrivesWait;
  const auto period = std::chrono::milliseconds(std::lround(options.intervalSeconds * 1000));
  ShownNodes shown;
  session.World().ListenForDrives();
  DrivesWait woke = DrivesWait::DevicesChanged;
  do {
    ShownNodes now;
    for (const DeviceNode& node : WatchedNodes(session)) {
      const std::optional<Shown> before = ShownAt(shown, node.name);
      if (woke != DrivesWait::DevicesChanged && before && before->unreadable.empty()) {
        // Neither the system nor the node says that anything changed.
        now.emplace_back(node.name, *before);
        continue;
      }
      NodeLook look = session.LookAt(node, true);
      if (look.drive) {
        now.emplace_back(node.name, Shown{std::move(look.drive), "", false});
      } else if (look.unusable) {
        now.emplace_back(node.name, Shown{before ? before->drive : std::nullopt, look.unusable->reason, false});
      } else if (look.foreign) {
        now.emplace_back(node.name, Shown{std::nullopt, "", true});
      }
    }
    for (const auto& [name, before] : shown) {
      if (!before.foreign && !ShownAt(now, name)) PrintChange(session, Change::Left, name, before);
    }
    for (const auto& [name, at] : now) PrintChanges(session, name, ShownAt(shown, name), at);
    session.RequireWritten();
    shown = std::move(now);
  } while ((woke = session.World().WaitForDrives(period)) != DrivesWait::Interrupted);
  throw Stop{Exit::Interrupted, ""};
}

}  // namespace

Exit ListDrives(Session& session, const WatchOptions& options) {
  if (options.watch) return Watch(session, options);
  if (!session.Options().device.empty()) return ListNamedDrive(session);
  const std::vector<SelectedDrive> drives = session.FindDrives(false);
  PrintList(session, drives);
  // Every drive present was read, or the first that was not tells the shell why.
  if (!session.Unusable().empty()) {
    const Exit code = session.Unusable().front().code;
    throw Stop{code, "not every drive could be read" +
                         (code == Exit::NotPermitted ? " (" + std::string(System().permissionAdvice) + ")" : "")};
  }
  if (drives.empty()) throw Stop{Exit::NoDrive, "no supported drive found"};
  return Exit::Ok;
}

}  // namespace norvane::tool
