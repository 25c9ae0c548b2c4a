// status: the Status tab of the window on the command line, once or, with
// --watch, redrawn every tick until interrupted.
#include <chrono>
#include <cmath>
#include <ostream>
#include <sstream>

#include "drive/channel.h"
#include "drive/readings.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/quality_bar.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

Json ReadingJson(Session& session, const QualityReading& reading) {
  Json json = session.DriveJson();
  json["supported"] = reading.supported;
  if (!reading.supported) return json;
  json["level"] = reading.level;
  json["word"] = QualityWordText(QualityWordOf(reading.level));
  json["band"] = QualityBandName(QualityBandOf(reading.level));
  json["errorCount"] = reading.counters.errorCount;
  json["transferredSectors"] = reading.counters.transferredSectorCount;
  json["lastSectorFrame"] = reading.counters.lastSectorFrame;
  json["timeCode"] = FormatTimeCode(reading.counters.lastSectorFrame);
  return json;
}

std::string LevelText(Session& session, std::uint8_t level) {
  const std::string word = QualityWordText(QualityWordOf(level));
  // The window draws only the last word, "Fatal", in red.
  const std::string shown = level == kMaxQualityLevel ? session.Colours().Paint(word, Colour::Red) : word;
  return QualityBar(level, session.Colours(), session.Terminal().utf8) + "  " + shown + " (level " +
         std::to_string(level) + ")";
}

Fields ReadingFields(Session& session, const SelectedDrive& drive, const QualityReading& reading) {
  return {{"Drive", drive.label},
          {"Error indicator", LevelText(session, reading.level)},
          {"Transferred sectors", std::to_string(reading.counters.transferredSectorCount)},
          {"Last sector time", FormatTimeCode(reading.counters.lastSectorFrame)}};
}

// One line a tick, for logs and pipes.
std::string ReadingLine(Session& session, const QualityReading& reading) {
  return LevelText(session, reading.level) + "  sectors " + std::to_string(reading.counters.transferredSectorCount) +
         "  time " + FormatTimeCode(reading.counters.lastSectorFrame);
}

// The watch's picture: redrawn in place on a terminal, a line a tick elsewhere.
class WatchView {
 public:
  WatchView(Session& session, const SelectedDrive& drive) : m_session(session), m_drive(drive) {}
  ~WatchView() {
    if (InPlace()) Out() << "\x1b[?25h" << std::flush;
  }

  void Show(const QualityReading& reading) { Show(reading, ""); }

  // A tick the drive did not answer: a JSON line says so instead of values,
  // the text keeps the last reading and marks it.
  void ShowNoAnswer(const QualityReading& last) {
    if (!m_session.Options().json) return Show(last, "no answer from the drive; the last reading is shown");
    Json json = m_session.DriveJson();
    json["error"] = "no answer from the drive";
    Out() << json.dump() << std::endl;
  }

 private:
  void Show(const QualityReading& reading, const std::string& note) {
    if (m_session.Options().json) {
      Out() << ReadingJson(m_session, reading).dump() << std::endl;
    } else if (!InPlace()) {
      Out() << ReadingLine(m_session, reading) << (note.empty() ? "" : "  (" + note + ")") << std::endl;
    } else {
      Redraw(reading, note);
    }
  }

  std::ostream& Out() { return m_session.Terminal().out; }
  bool InPlace() const { return m_session.Terminal().CanRedraw() && !m_session.Options().json; }

  // No cursor flickering over the bar; hidden at every redraw, since a stop
  // (Ctrl-Z) gives it back to the terminal.
  void Redraw(const QualityReading& reading, const std::string& note) {
    Out() << "\x1b[?25l";
    if (m_linesShown > 0) Out() << "\x1b[" << m_linesShown << "A";
    Fields fields = ReadingFields(m_session, m_drive, reading);
    fields.emplace_back("", note.empty() ? "Ctrl-C stops." : m_session.Colours().Paint(note, Colour::Yellow));
    std::ostringstream picture;
    PrintFields(picture, fields);
    std::istringstream lines(picture.str());
    m_linesShown = 0;
    for (std::string line; std::getline(lines, line); ++m_linesShown) Out() << "\x1b[2K" << line << '\n';
    Out() << std::flush;
  }

  Session& m_session;
  const SelectedDrive& m_drive;
  int m_linesShown = 0;
};

// The system's questions about the watched drive are answered while the
// watch lasts, and no longer once the drive is about to be closed.
struct WatchedDrive {
  Platform& platform;
  ~WatchedDrive() { platform.StopWatchingDrive(); }
};

// A drive unplugged leaves its node to whatever is plugged in next: what
// answers there is identified before a reading is shown under the watched
// drive's name. False while nothing of ours answers yet; another drive ends
// the watch.
bool ReopenedSameDrive(Session& session, const SelectedDrive& drive) {
  session.World().StopWatchingDrive();
  const NodeLook look = session.LookAt(drive.node, false);
  const auto ends = [&drive](const std::string& now) {
    return Stop{Exit::NoDrive, Echoed(drive.node.name) + ": another drive is there now (" + now +
                                   "), not the one watched (" + drive.label + "); the watch ends"};
  };
  if (look.foreign) throw ends("one that is not supported");
  if (!look.drive) return false;
  if (look.drive->label != drive.label) throw ends(look.drive->label);
  return OpenDevicePath(drive.node.path);
}

Exit Watch(Session& session, const SelectedDrive& drive, QualityReading reading, const WatchOptions& options) {
  using Tick = Platform::Tick;
  const auto period = std::chrono::milliseconds(std::lround(options.intervalSeconds * 1000));
  WatchView view(session, drive);
  const WatchedDrive watched{session.World()};
  view.Show(reading);
  session.RequireWritten();
  bool lost = false;
  for (Tick tick; (tick = session.World().WaitBesideDrive(period)) != Tick::Interrupted; session.RequireWritten()) {
    // The system is taking the drive away: there is nothing to ask until the removal is refused or done.
    if (tick == Tick::DriveLetGo) {
      view.ShowNoAnswer(reading);
      continue;
    }
    // An unplugged drive leaves its handle dead for good; opening its node
    // anew finds it again once it is back on the bus.
    if (lost && !ReopenedSameDrive(session, drive)) {
      view.ShowNoAnswer(reading);
      continue;
    }
    QualityReading next = ReadQuality();
    lost = next.read.outcome == CommandOutcome::NotDelivered;
    // Like the window, a tick without an answer changes nothing; unlike it, it says so.
    if (next.read.Complete() && next.supported) {
      reading = next;
      view.Show(reading);
    } else {
      view.ShowNoAnswer(reading);
    }
  }
  throw Stop{Exit::Interrupted, ""};
}

}  // namespace

Stop CountsNoErrors() {
  return {Exit::NotSupported, "this drive does not support real-time read-error handling: it counts no errors"};
}

Exit ShowStatus(Session& session, const WatchOptions& options) {
  const SelectedDrive& drive = session.SelectDrive();
  const QualityReading reading = ReadQuality();
  session.Require(reading.read, "reading the status");
  if (!reading.supported) {
    const Stop refusal = CountsNoErrors();
    if (session.Options().json) {
      Json json = ReadingJson(session, reading);
      json["error"] = refusal.message;
      session.PrintJson(json, options.watch);
    }
    throw refusal;
  }
  if (options.watch) return Watch(session, drive, reading, options);
  if (session.Options().json) {
    session.PrintJson(ReadingJson(session, reading));
  } else {
    PrintFields(session.Terminal().out, ReadingFields(session, drive, reading));
  }
  return Exit::Ok;
}

}  // namespace norvane::tool
