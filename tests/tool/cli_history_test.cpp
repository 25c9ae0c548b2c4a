// The measurement of status --watch on the demo's drive E through a play of
// its track: the CSV a spreadsheet reads, the JSON lines' time, and the
// summary a Ctrl-C ends the watch with.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <ctime>
#include <functional>
#include <regex>

#include "cli_test_support.h"
#include "emulator/demo_drives.h"
#include "tests/common/local_time.h"

namespace norvane::test {
namespace {

using nlohmann::json;

const std::regex kLocalTime("([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})");
const std::regex kTimeCode("[0-9]{2,3}:[0-5][0-9]:([0-6][0-9]|7[0-4])");
const char* const kWords[] = {"Perfect", "Better", "Good", "Not Good", "Not Good", "Not Good", "Bad", "Bad", "Fatal"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(line.substr(start, comma - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

// Seconds since midnight of a local time's clock part.
int SecondOfDay(const std::string& time) {
  std::smatch parts;
  if (!std::regex_match(time, parts, kLocalTime)) return -1;
  return std::stoi(parts[4]) * 3600 + std::stoi(parts[5]) * 60 + std::stoi(parts[6]);
}

// One CSV reading, checked for its shape as it is taken apart.
struct CsvReading {
  std::string time;
  int level = -1;
  std::string errors, sectors, timeCode;
};

CsvReading ParsedReading(const std::string& line) {
  const std::vector<std::string> fields = Fields(line);
  CsvReading reading;
  EXPECT_EQ(fields.size(), 6u) << line;
  if (fields.size() != 6 || !std::regex_match(fields[1], std::regex("[0-8]"))) {
    ADD_FAILURE() << "no level 0..8: " << line;
    return reading;
  }
  EXPECT_TRUE(std::regex_match(fields[0], kLocalTime)) << line;
  reading.time = fields[0];
  reading.level = std::stoi(fields[1]);
  EXPECT_EQ(fields[2], kWords[reading.level]) << line;
  EXPECT_TRUE(std::regex_match(fields[3], std::regex("[0-9]+"))) << line;
  EXPECT_TRUE(std::regex_match(fields[4], std::regex("[0-9]+"))) << line;
  EXPECT_TRUE(std::regex_match(fields[5], kTimeCode)) << line;
  reading.errors = fields[3];
  reading.sectors = fields[4];
  reading.timeCode = fields[5];
  return reading;
}

class HistoryTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    emu::AttachDemoDrives(devices);
  }
  // The drive starts a play of its track, at 02:00:00, from here.
  void StartPlay() { Drive().SetCounters(0, 0, 120 * 75); }
};

// Drive E plays its 90-second track from 02:00:00, one sector a frame, 75 a
// second, and counts each play anew. From 10 s one frame in 100 fails, from
// 25 s to 35 s one in 4; the first failing frame of each stretch is its
// first. Read once a second from the play's start, t seconds in:
// - at 12 s, 2 errors in 900 sectors (0.0022): Not Good; at 13 s, 3 in 975
//   (0.0031): Bad, and Bad or worse from there to the play's last reading at
//   89 s (200 errors in 6675 sectors, 0.030): 77 readings.
// - at 27 s, 12 + 38 errors in 2025 sectors (0.025): level 7; at 28 s,
//   12 + 57 in 2100 (0.033, at least 1 in 31.4): Fatal, time code 02:28:00;
//   at 83 s still 200 in 6225 (0.0321), at 84 s 200 in 6300 (0.0317): level
//   7. Fatal from 28 s to 83 s: 56 readings.
constexpr int kPlayTicks = 89;  // readings at 0 s (before the first tick) .. 89 s
constexpr const char* kPlaySummary = "Worst: Fatal (level 8) for 56 s at 02:28:00; 77 s at Bad or worse\n";

TEST_F(HistoryTest, CsvOfAPlayOfTheTrackShowsItsScratches) {
  platform.ticksBeforeInterrupt = kPlayTicks;
  const RunResult result = Run({"-d", "E", "status", "--watch", "--csv"});
  EXPECT_EQ(result.exit, Exit::Interrupted);
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 1u + kPlayTicks + 1) << "the header, then a line a reading:\n" << result.out;
  EXPECT_EQ(lines[0], "time,level,word,errorCount,transferredSectors,timeCode");

  std::vector<CsvReading> readings;
  for (std::size_t i = 1; i < lines.size(); ++i) readings.push_back(ParsedReading(lines[i]));
  for (std::size_t t = 1; t < readings.size(); ++t) {
    EXPECT_EQ((SecondOfDay(readings[t].time) - SecondOfDay(readings[t - 1].time) + 86400) % 86400, 1)
        << "a reading a second: " << lines[t] << " then " << lines[t + 1];
  }
  const struct {
    std::size_t second;
    int level;
    const char *errors, *sectors, *timeCode;
  } known[] = {
      {0, 0, "0", "0", "02:00:00"},       {9, 0, "0", "675", "02:09:00"},     {12, 5, "2", "900", "02:12:00"},
      {13, 6, "3", "975", "02:13:00"},    {27, 7, "50", "2025", "02:27:00"},  {28, 8, "69", "2100", "02:28:00"},
      {83, 8, "200", "6225", "03:23:00"}, {84, 7, "200", "6300", "03:24:00"}, {89, 7, "200", "6675", "03:29:00"},
  };
  for (const auto& k : known) {
    SCOPED_TRACE(testing::Message() << k.second << " s into the play");
    EXPECT_EQ(readings[k.second].level, k.level);
    EXPECT_EQ(readings[k.second].errors, k.errors);
    EXPECT_EQ(readings[k.second].sectors, k.sectors);
    EXPECT_EQ(readings[k.second].timeCode, k.timeCode);
  }
  // The worst level in the data, and where it first came.
  const auto worst = std::max_element(readings.begin(), readings.end(),
                                      [](const CsvReading& a, const CsvReading& b) { return a.level < b.level; });
  EXPECT_EQ(worst->level, 8);
  EXPECT_EQ(worst->timeCode, "02:28:00");
}

// The summary goes to standard error in every form of the watch, so that
// the results' stream stays what it is to its last line.
TEST_F(HistoryTest, CtrlCSumsUpTheMeasurementBesideTheResults) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    bool terminal;
    std::size_t headerLines;
    std::function<void(const std::string& line)> checkLine;
  } cases[] = {
      {"CSV", {"--csv"}, false, 1, [](const std::string& line) { EXPECT_EQ(Fields(line).size(), 6u) << line; }},
      {"JSON",
       {"--json"},
       false,
       0,
       [](const std::string& line) { EXPECT_TRUE(json::parse(line).contains("level")) << line; }},
      {"text lines",
       {},
       false,
       0,
       [](const std::string& line) { EXPECT_NE(line.find("  sectors "), std::string::npos) << line; }},
      {"text redrawn on a terminal",
       {},
       true,
       0,
       [](const std::string& line) { EXPECT_EQ(line.find("Worst"), std::string::npos) << line; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartPlay();
    platform.ticks = 0;
    platform.ticksBeforeInterrupt = kPlayTicks;
    onConsole = [&c](tool::Console& console) { console.outIsTerminal = c.terminal; };
    std::vector<std::string> arguments = {"-d", "E", "status", "--watch"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const RunResult result = Run(arguments);
    EXPECT_EQ(result.exit, Exit::Interrupted);
    EXPECT_EQ(result.err, kPlaySummary);
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_GT(lines.size(), c.headerLines);
    for (std::size_t i = c.headerLines; i < lines.size(); ++i) c.checkLine(lines[i]);
  }
}

// Ctrl-C in the middle of a reading's commands ends the run at once, and
// leaves the summary of the readings before it all the same.
TEST_F(HistoryTest, CtrlCInACommandLeavesTheSummaryAllTheSame) {
  platform.source.beforeCommand = [this](std::uint8_t) {
    if (platform.ticks == kPlayTicks) platform.Signal(130);
  };
  const RunResult result = Run({"-d", "E", "status", "--watch", "--csv"});
  EXPECT_EQ(static_cast<int>(result.exit), 130);
  EXPECT_EQ(Lines(result.out).size(), 1u + kPlayTicks) << "the header and the readings 0 s .. 88 s";
  // As the whole play's, less the last reading at Bad or worse.
  EXPECT_EQ(result.err, "Worst: Fatal (level 8) for 56 s at 02:28:00; 76 s at Bad or worse\n");
}

// The drive gone and back counts from zero: what it read before is no
// part of the new measurement, and a measurement without a reading says so.
TEST_F(HistoryTest, ADriveBackOnTheBusStartsANewMeasurement) {
  const struct {
    const char* name;
    bool readsAfterwards;
    const char* summary;
  } cases[] = {
      // Back at the start of a play: the ten readings 31 s .. 40 s, clean.
      {"read again", true, "Worst: Perfect (level 0) for 10 s at 02:00:00; 0 s at Bad or worse\n"},
      {"not read again", false, "No readings.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartPlay();
    platform.ticks = 0;
    platform.ticksBeforeInterrupt = 40;
    // Fatal from 28 s; gone at 30 s, back at 31 s.
    platform.onTick = [this, &c](int tick) {
      if (tick == 30) devices.Unplug('E');
      if (tick != 31) return;
      devices.Plug('E');
      StartPlay();
      if (!c.readsAfterwards) Drive().OverrideBuffer(kReadStatus[2], {0x00});
    };
    const RunResult result = Run({"-d", "E", "status", "--watch", "--csv"});
    EXPECT_EQ(result.exit, Exit::Interrupted);
    const std::vector<std::string> errors = Lines(result.err);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back() + "\n", c.summary) << result.err;
    EXPECT_EQ(errors.front(), "norvane-drive: no answer from the drive") << "CSV's lines are readings only";
    EXPECT_EQ(Lines(result.out).size(), 1u + 30 + (c.readsAfterwards ? 10 : 0)) << result.out;
    Drive().ClearOverrides();
  }
}

// status --csv alone: the header and one reading; the JSON reading carries the same time.
TEST_F(HistoryTest, OneReadingAsCsvAndTheJsonTimeAsTheCsvs) {
  platform.wallTimeAtStartMs = LocalMs(2026, 12, 11, 14, 3, 5) + 999;  // the milliseconds are left off
  const RunResult csv = Run({"-d", "E", "status", "--csv"});
  EXPECT_EQ(csv.exit, Exit::Ok) << csv.err;
  EXPECT_EQ(csv.out,
            "time,level,word,errorCount,transferredSectors,timeCode\n"
            "2026-12-11T14:03:05,0,Perfect,0,0,02:00:00\n");
  EXPECT_EQ(csv.err, "") << "one reading is no measurement to sum up";

  const json reading = json::parse(Run({"-d", "E", "--json", "status"}).out);
  EXPECT_EQ(reading.value("time", ""), "2026-12-11T14:03:05");
  for (const char* kept :
       {"level", "word", "band", "errorCount", "transferredSectors", "lastSectorFrame", "timeCode"}) {
    EXPECT_TRUE(reading.contains(kept)) << kept;
  }

  platform.ticksBeforeInterrupt = 3;
  const RunResult watch = Run({"-d", "E", "--json", "status", "--watch"});
  const std::vector<std::string> lines = Lines(watch.out);
  ASSERT_EQ(lines.size(), 4u) << watch.out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(json::parse(lines[i]).value("time", ""), "2026-12-11T14:03:0" + std::to_string(5 + i)) << lines[i];
  }
}

}  // namespace
}  // namespace norvane::test
