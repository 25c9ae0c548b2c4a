// clear, eject, force-eject and factory-reset: the Clear button of the
// Status tab and the buttons of the Utility tab, with their confirmations.
#include <ostream>

#include "drive/commands.h"
#include "drive/readings.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

struct Action {
  const char* name;      // the subcommand
  const char* doing;     // for messages: "cannot <doing>"
  const char* done;      // what the user is told afterwards
  const char* question;  // the confirmation, or none
  bool writesBuffers;    // sends WRITE BUFFER, which Linux guards
  Picks picks;           // whether it changes the drive
  bool passesTrayLock;   // takes the disc out under the system's tray lock
  bool needsCounters;    // acts on the error counters, which only some drives keep
  CommandResult (*send)();
};

// The window holds itself for a second after a force eject, so that the tray
// is out before anything else reaches the drive; so does the tool.
CommandResult ForceEjectAndWait() {
  const CommandResult ejected = ForceEject();
  InstalledDeviceIo().Sleep(1000);
  return ejected;
}

constexpr Action kClear = {
    "clear", "clear the error counters", "The error counters are cleared.", nullptr, true, Picks::Changing, false,
    true,    ClearErrorCounters};
// The drive refuses a normal eject while the system locks the tray. The tray
// of a drive the user did not mean must not come out either.
constexpr Action kEject = {"eject", "eject the disc", "The disc is ejected.", nullptr, false, Picks::Changing, false,
                           false,   EjectDisc};
constexpr Action kForceEject = {"force-eject",
                                "force the disc out",
                                "The disc is forced out.",
                                "If the drive is at work, the task it is doing will be discarded. Force the disc out?",
                                true,
                                Picks::Changing,
                                true,
                                false,
                                ForceEjectAndWait};
constexpr Action kFactoryReset = {"factory-reset",
                                  "restore the factory settings",
                                  "The factory settings are restored and saved in the drive.",
                                  "Reset all of the drive's settings to the factory default?",
                                  true,
                                  Picks::Changing,
                                  false,
                                  false,
                                  RestoreFactoryDefaults};

// A file system on the disc would lose it from under its feet.
void RequireUnmounted(Session& session, const SelectedDrive& drive, const Action& action) {
  if (const std::optional<std::string> mountPoint = session.Source().MountPoint(drive.node)) {
    throw Stop{Exit::CommandFailed, std::string("cannot ") + action.doing + ": " + Echoed(drive.node.name) +
                                        " is mounted on " + Echoed(*mountPoint) + "; unmount it first"};
  }
}

// A drive that counts no errors would take the clear and change nothing.
void RequireCounters(Session& session) {
  const RealTimeSupport support = ReadRealTimeSupport();
  session.Require(support.read, "reading the drive's features");
  if (!support.supported) throw CountsNoErrors();
}

Exit Run(Session& session, const Action& action, bool yes) {
  const SelectedDrive& drive = session.SelectDrive(action.picks);
  // A drive another program holds hears nothing from us, not even a reading.
  const DriveLock lock = session.LockDrive();
  if (action.needsCounters) RequireCounters(session);
  if (action.passesTrayLock) RequireUnmounted(session, drive, action);
  if (action.writesBuffers) session.RequireWriteBuffer(action.doing);
  if (action.question != nullptr) session.Confirm(action.question, yes);
  ChangeUnderWay change(session.World());
  session.Require(action.send(), std::string("trying to ") + action.doing);
  if (session.Options().json) {
    Json json = session.DriveJson();
    json["action"] = action.name;
    session.PrintJson(json);
  } else {
    PrintFields(session.Terminal().out, {{"Drive", drive.label}});
    session.Terminal().out << action.done << '\n';
  }
  change.End({Exit::Ok, ""});
  return Exit::Ok;
}

}  // namespace

Exit ClearCounters(Session& session) { return Run(session, kClear, false); }
Exit EjectTray(Session& session) { return Run(session, kEject, false); }
Exit ForceEjectTray(Session& session, bool yes) { return Run(session, kForceEject, yes); }
Exit RestoreFactorySettings(Session& session, bool yes) { return Run(session, kFactoryReset, yes); }

}  // namespace norvane::tool
