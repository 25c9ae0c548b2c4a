// power-check: the bus power check of the Utility tab. The drive measures by
// itself once started; the tool counts 25 seconds down and then asks for the
// result, or learns from a drive that no longer answers that the port could
// not feed the measurement.
#include <chrono>
#include <ostream>

#include "drive/channel.h"
#include "drive/commands.h"
#include "drive/readings.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

constexpr int kCountdownSeconds = 25;
constexpr auto kTick = std::chrono::milliseconds(1000);

// The media change lock is held for the whole check, and given back at every end.
struct MediaNotificationLock {
  MediaNotificationLock() { LockMediaNotification(); }
  ~MediaNotificationLock() { ReleaseMediaNotification(); }
};

// Progress goes to the terminal of the messages, so that results stay clean.
class Progress {
 public:
  explicit Progress(Console& console) : m_console(console) {}
  ~Progress() { EndLine(); }

  void Line(const std::string& text) {
    EndLine();
    m_console.err << text << '\n' << std::flush;
  }
  // Redrawn in place on a terminal; elsewhere it would only fill the log.
  void Countdown(int secondsLeft) {
    if (!m_console.CanRedrawProgress()) return;
    m_console.err << "\r\x1b[2KChecking now, " << secondsLeft << " s left." << std::flush;
    m_open = true;
  }
  void EndLine() {
    if (m_open) m_console.err << "\r\x1b[2K" << std::flush;
    m_open = false;
  }

 private:
  Console& m_console;
  bool m_open = false;
};

// With a person at hand: the tray comes out for the disc, and the person
// says when it is in. With --yes the disc already in the drive is used.
void OfferTray(Session& session, const DeviceNode& node, Progress& progress, bool yes) {
  if (yes) return;
  if (WaitForDisc()) {
    progress.Line("Opening the tray.");
    OpenTrayForInsert();
  }
  if (!WaitForEnter(session.Terminal(),
                    "Please insert a disc (any kind of disc will do), close the tray and press "
                    "Enter. ")) {
    throw Stop{Exit::NotConfirmed, "no answer at the disc prompt: nothing was measured"};
  }
  session.Source().DiscOffered(node);
}

void StartMeasurement(Session& session) {
  const CommandResult stopped = StopUnit();
  // Without a started measurement the result would read as zeros, a verdict of nothing.
  session.Require(Combined(stopped, StartPowerCheck()), "starting the measurement");
}

void CountDown(Session& session, Progress& progress) {
  progress.Line("Measuring; this takes about 26 seconds.");
  for (int tick = 1; tick <= kCountdownSeconds; ++tick) {
    if (!session.World().Wait(kTick)) throw Stop{Exit::Interrupted, "interrupted: the measurement was not read"};
    progress.Countdown(kCountdownSeconds - tick);
  }
  if (!session.World().Wait(kTick)) throw Stop{Exit::Interrupted, "interrupted: the measurement was not read"};
  progress.EndLine();
}

PowerMeasurement ReadMeasurement(Session& session) {
  const PowerMeasurement measurement = ReadPowerMeasurement();
  // A read that failed or came back short would be a power value of zeros: a verdict the drive never gave.
  if (measurement.responding) session.Require(measurement.read, "reading the measurement");
  return measurement;
}

Colour VerdictColour(PowerVerdict verdict) {
  switch (verdict) {
    case PowerVerdict::NotEnough: return Colour::Red;
    case PowerVerdict::SlightlyNotEnough: return Colour::Yellow;
    case PowerVerdict::Enough: return Colour::Green;
  }
  return Colour::Red;
}

Exit ExitOf(PowerVerdict verdict) {
  switch (verdict) {
    case PowerVerdict::NotEnough: return Exit::PowerTooLow;
    case PowerVerdict::SlightlyNotEnough: return Exit::PowerSlightlyLow;
    case PowerVerdict::Enough: return Exit::Ok;
  }
  return Exit::PowerTooLow;
}

void PrintVerdict(Session& session, const SelectedDrive& drive, const PowerMeasurement& measurement) {
  if (session.Options().json) {
    Json json = session.DriveJson();
    json["verdict"] = PowerVerdictName(measurement.verdict);
    json["responding"] = measurement.responding;
    json["powerValue"] = measurement.responding ? Json(measurement.powerValue) : Json(nullptr);
    session.PrintJson(json);
    return;
  }
  std::ostream& out = session.Terminal().out;
  PrintFields(out, {{"Drive", drive.label}});
  out << session.Colours().Paint(PowerVerdictText(measurement.verdict), VerdictColour(measurement.verdict)) << '\n';
  if (measurement.responding) {
    out << "Power value " << measurement.powerValue << " (above " << kSlightlyLowPowerLimit << " is enough)\n";
  } else {
    out << "The drive stopped answering during the measurement: the port could not feed it.\n";
  }
}

}  // namespace

Exit CheckBusPower(Session& session, bool yes) {
  const SelectedDrive& drive = session.SelectDrive(Picks::Changing);
  const DriveLock driveLock = session.LockDrive();
  session.RequireWriteBuffer("check the bus power");
  if (!yes && !session.Terminal().inIsTerminal) {
    throw Stop{
        Exit::NotConfirmed,
        "the check asks for a disc, and there is no terminal to ask on; pass --yes to use the disc in the drive"};
  }
  Progress progress(session.Terminal());
  const MediaNotificationLock lock;
  OfferTray(session, drive.node, progress, yes);
  if (!WaitForDisc()) throw Stop{Exit::NoDisc, "No disc is found."};
  StartMeasurement(session);
  CountDown(session, progress);
  const PowerMeasurement measurement = ReadMeasurement(session);
  PrintVerdict(session, drive, measurement);
  return ExitOf(measurement.verdict);
}

}  // namespace norvane::tool
