// list: the drive list of the window; with --watch, the drives as they come
// and go.
#include <chrono>
#include <cmath>
#include <ostream>

#include "tool/commands.h"
#include "tool/text.h"

namespace norvane::tool {

namespace {

// A script reading the list gets a list, an empty one when there is no drive.
std::vector<SelectedDrive> ListedDrives(Session& session) {
  try {
    return session.SupportedDrives(false);
  } catch (const Stop&) {
    if (session.Options().json) session.PrintJson(Json::array());
    throw;
  }
}

// The drives present now; none is no reason to end a watch.
std::vector<SelectedDrive> PresentDrives(Session& session) {
  try {
    return session.SupportedDrives(false);
  } catch (const Stop& stop) {
    if (stop.code != Exit::NoDrive) throw;
    return {};
  }
}

Json DriveEntry(const SelectedDrive& drive) {
  return {{"device", Printable(drive.node.name)},
          {"label", drive.label},
          {"vendor", drive.vendor},
          {"product", drive.product},
          {"revision", drive.revision}};
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
void PrintChanges(Session& session, const std::vector<SelectedDrive>& drives,
                  const std::vector<SelectedDrive>& others, bool arrived) {
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
    const std::vector<SelectedDrive> present = PresentDrives(session);
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
  const std::vector<SelectedDrive> drives = ListedDrives(session);
  if (!session.Options().json) {
    for (const SelectedDrive& drive : drives) session.Terminal().out << drive.label << '\n';
    return Exit::Ok;
  }
  Json list = Json::array();
  for (const SelectedDrive& drive : drives) list.push_back(DriveEntry(drive));
  session.PrintJson(list);
  return Exit::Ok;
}

}  // namespace norvane::tool
