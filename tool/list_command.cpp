// list: the drive list of the window; with --watch, the drives as they come
// and go.
#include <chrono>
#include <cmath>
#include <ostream>

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
  try {
    PrintList(session, {session.SelectDrive()});
  } catch (const Stop&) {
    if (session.Options().json) session.PrintJson(Json::array());
    throw;
  }
  return Exit::Ok;
}

// Another drive at the same node (one unplugged, another plugged in between
// two ticks) is one leaving and one arriving.
bool SameDrive(const SelectedDrive& a, const SelectedDrive& b) {
  return a.node.name == b.node.name && a.label == b.label;
}

bool Among(const SelectedDrive& drive, const std::vector<SelectedDrive>& drives) {
  for (const SelectedDrive& other : drives) {
    if (SameDrive(drive, other)) return true;
  }
  return false;
}

// One line for each drive of `drives` that `others` lacks: "+ label" for one
// that arrived, "- label" for one that left; a JSON line with --json.
void PrintChanges(Session& session, const std::vector<SelectedDrive>& drives, const std::vector<SelectedDrive>& others,
                  bool arrived) {
  for (const SelectedDrive& drive : drives) {
    if (Among(drive, others)) continue;
    if (session.Options().json) {
      Json line = {{"event", arrived ? "arrived" : "left"}};
      line.update(DriveEntry(drive));
      session.Terminal().out << line.dump() << std::endl;
    } else {
      session.Terminal().out << (arrived ? "+ " : "- ") << drive.label << std::endl;
    }
  }
}

// The drives present at the start count as arrived; then each word from the
// system, or each tick without one, shows what changed since the last look.
Exit Watch(Session& session, const WatchOptions& options) {
  const auto period = std::chrono::milliseconds(std::lround(options.intervalSeconds * 1000));
  std::vector<SelectedDrive> shown;
  do {
    const std::vector<SelectedDrive> present = session.FindDrives(false);
    PrintChanges(session, shown, present, false);
    PrintChanges(session, present, shown, true);
    session.RequireWritten();
    shown = present;
  } while (session.World().WaitForDrives(period));
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
