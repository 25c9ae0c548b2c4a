// list: the drive list of the window.
#include <ostream>

#include "tool/commands.h"
#include "tool/text.h"

namespace norvane::tool {

Exit ListDrives(Session& session) {
  const std::vector<SelectedDrive> drives = session.SupportedDrives(false);
  if (!session.Options().json) {
    for (const SelectedDrive& drive : drives) session.Terminal().out << drive.label << '\n';
    return Exit::Ok;
  }
  Json list = Json::array();
  for (const SelectedDrive& drive : drives)
    list.push_back({{"device", Printable(drive.node.name)}, {"label", drive.label}});
  session.PrintJson(list);
  return Exit::Ok;
}

}  // namespace norvane::tool
