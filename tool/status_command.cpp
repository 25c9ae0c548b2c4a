// status: the Status tab of the window on the command line, once or, with
// --watch, redrawn every tick until interrupted and then summed up; as text,
// JSON or CSV.
#include <chrono>
#include <cmath>
#include <ostream>
#include <sstream>

#include "drive/channel.h"
#include "drive/quality_history.h"
#include "drive/readings.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/quality_bar.h"
#include "tool/text.h"

namespace norvane::tool {
namespace {

// A reading as the history keeps it: taken at `wallTimeMs`.
HistoryPoint PointOf(const QualityReading& reading, std::int64_t wallTimeMs) {
  return {wallTimeMs, reading.level, reading.counters.errorCount, reading.counters.transferredSectorCount,
          reading.counters.lastSectorFrame};
}

Json ReadingJson(Session& session, const QualityReading& reading, std::int64_t wallTimeMs) {
  Json json = session.DriveJson();
  json["supported"] = reading.supported;
  if (!reading.supported) return json;
  json["time"] = FormatLocalTime(wallTimeMs);
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
  WatchView(Session& session, const SelectedDrive& drive, bool csv) : m_session(session), m_drive(drive), m_csv(csv) {
    if (m_csv) Out() << HistoryCsvHeader() << std::endl;
  }
  ~WatchView() {
    if (InPlace()) Out() << "\x1b[?25h" << std::flush;
  }

  void Show(const QualityReading& reading, std::int64_t wallTimeMs) { Show(reading, wallTimeMs, ""); }

  // A tick the drive did not answer: a JSON line says so instead of values,
  // the text keeps the last reading and marks it, and CSV, whose every line
  // is a reading, says it on standard error.
  void ShowNoAnswer(const QualityReading& last, std::int64_t lastWallTimeMs) {
    static const std::string kNoAnswer = "no answer from the drive";
    if (m_csv) return m_session.Warn(kNoAnswer);
    if (!m_session.Options().json) return Show(last, lastWallTimeMs, kNoAnswer + "; the last reading is shown");
    Json json = m_session.DriveJson();
    json["error"] = kNoAnswer;
    Out() << json.dump() << std::endl;
  }

 private:
  // Every line is flushed, so that a reader at the end of a pipe has each reading as it comes.
  void Show(const QualityReading& reading, std::int64_t wallTimeMs, const std::string& note) {
    if (m_csv) {
      Out() << HistoryCsvLine(PointOf(reading, wallTimeMs)) << std::endl;
    } else if (m_session.Options().json) {
      Out() << ReadingJson(m_session, reading, wallTimeMs).dump() << std::endl;
    } else if (!InPlace()) {
      Out() << ReadingLine(m_session, reading) << (note.empty() ? "" : "  (" + note + ")") << std::endl;
    } else {
      Redraw(reading, note);
    }
  }

  std::ostream& Out() { return m_session.Terminal().out; }
  bool InPlace() const { return m_session.Terminal().CanRedraw() && !m_session.Options().json && !m_csv; }

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
  const bool m_csv;
  int m_linesShown = 0;
};

// The line a watch ends with: the measurement's worst level, the longest
// run of it and where on the disc it began, and the time at Bad or worse.
std::string SummaryLine(const WorstStretch& worst) {
  if (!worst.any) return "No readings.\n";
  return "Worst: " + std::string(QualityWordText(QualityWordOf(worst.level))) + " (level " +
         std::to_string(worst.level) + ") for " + std::to_string(worst.runSeconds) + " s at " +
         FormatTimeCode(worst.startFrame) + "; " + std::to_string(worst.secondsAtBadOrWorse) + " s at Bad or worse\n";
}

// The watch's readings, with their summary kept as the interrupt note at
// every change, so that Ctrl-C gives it also when it lands in a command.
class Measurement {
 public:
  Measurement(Platform& platform, std::int64_t pollPeriodMs) : m_platform(platform), m_history(pollPeriodMs) {
    Noted();
  }
  ~Measurement() { m_platform.SetInterruptNote(""); }
  Measurement(const Measurement&) = delete;
  Measurement& operator=(const Measurement&) = delete;

  void Add(const HistoryPoint& point) {
    m_history.Add(point);
    Noted();
  }
  void Clear() {
    m_history.Clear();
    Noted();
  }
  std::string Summary() const { return SummaryLine(m_history.Worst()); }

 private:
  void Noted() { m_platform.SetInterruptNote(Summary()); }

  Platform& m_platform;
  QualityHistory m_history;
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

Exit Watch(Session& session, const SelectedDrive& drive, QualityReading reading, std::int64_t readAt,
           const StatusOptions& options) {
  using Tick = Platform::Tick;
  const auto period = std::chrono::milliseconds(std::lround(options.intervalSeconds * 1000));
  Measurement measurement(session.World(), period.count());
  WatchView view(session, drive, options.csv);
  const WatchedDrive watched{session.World()};
  measurement.Add(PointOf(reading, readAt));
  view.Show(reading, readAt);
  session.RequireWritten();
  bool lost = false;
  for (Tick tick; (tick = session.World().WaitBesideDrive(period)) != Tick::Interrupted; session.RequireWritten()) {
    // The system is taking the drive away: there is nothing to ask until the removal is refused or done.
    if (tick == Tick::DriveLetGo) {
      view.ShowNoAnswer(reading, readAt);
      continue;
    }
    // An unplugged drive leaves its handle dead for good; opening its node
    // anew finds it again once it is back on the bus.
    if (lost) {
      if (!ReopenedSameDrive(session, drive)) {
        view.ShowNoAnswer(reading, readAt);
        continue;
      }
      // Back on the bus, the drive counts from zero: a new measurement.
      measurement.Clear();
    }
    QualityReading next = ReadQuality();
    const std::int64_t nextAt = session.World().WallTimeMs();
    lost = next.read.outcome == CommandOutcome::NotDelivered;
    // Like the window, a tick without an answer changes nothing; unlike it, it says so.
    if (next.read.Complete() && next.supported) {
      reading = next;
      readAt = nextAt;
      measurement.Add(PointOf(reading, readAt));
      view.Show(reading, readAt);
    } else {
      view.ShowNoAnswer(reading, readAt);
    }
  }
  // On standard error, as every end of a watch: the results' stream stays CSV or JSON to its last line.
  session.Terminal().err << measurement.Summary();
  throw Stop{Exit::Interrupted, ""};
}

}  // namespace

Stop CountsNoErrors() {
  return {Exit::NotSupported, "this drive does not support real-time read-error handling: it counts no errors"};
}

Exit ShowStatus(Session& session, const StatusOptions& options) {
  const SelectedDrive& drive = session.SelectDrive();
  const QualityReading reading = ReadQuality();
  const std::int64_t readAt = session.World().WallTimeMs();
  session.Require(reading.read, "reading the status");
  if (!reading.supported) {
    const Stop refusal = CountsNoErrors();
    if (session.Options().json) {
      Json json = ReadingJson(session, reading, readAt);
      json["error"] = refusal.message;
      session.PrintJson(json, options.watch);
    }
    throw refusal;
  }
  if (options.watch) return Watch(session, drive, reading, readAt, options);
  if (options.csv) {
    session.Terminal().out << HistoryCsvHeader() << '\n' << HistoryCsvLine(PointOf(reading, readAt)) << '\n';
  } else if (session.Options().json) {
    session.PrintJson(ReadingJson(session, reading, readAt));
  } else {
    PrintFields(session.Terminal().out, ReadingFields(session, drive, reading));
  }
  return Exit::Ok;
}

}  // namespace norvane::tool
