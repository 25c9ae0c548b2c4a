// list: the drive list of the window.
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

Json DriveEntry(const SelectedDrive& drive) {
  return {{"device", Printable(drive.node.name)},
          {"label", drive.label},
          {"vendor", drive.vendor},
          {"product", drive.product},
          {"revision", drive.revision}};
}

}  // namespace

Exit ListDrives(Session& session) {
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
