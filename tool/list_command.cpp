// list: the drive list of the window.
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

}  // namespace

Exit ListDrives(Session& session) {
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
