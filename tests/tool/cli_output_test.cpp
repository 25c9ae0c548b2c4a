// What the subcommands print: JSON that parses back to what the drive
// reports, the text a person reads, the watch's ticks, and the exit codes.
#include <nlohmann/json.hpp>

#include "cli_test_support.h"

namespace norvane::test {
namespace {

using nlohmann::json;

TEST_F(CliTest, ListShowsTheSupportedDrivesWithTheWindowsLabels) {
  AttachDrives();
  const RunResult text = Run({"list"});
  EXPECT_EQ(text.exit, Exit::Ok);
  EXPECT_EQ(text.out, "E : NORVANE BD-RE QDM-LT58  1.062026/10/0\nG : NORVANE BD-RE NBX-2400  1.022025/04/1\n");

  const json list = json::parse(Run({"list", "--json"}).out);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["device"], "E");
  EXPECT_EQ(list[1]["device"], "G");
  EXPECT_EQ(list[1]["label"], "G : NORVANE BD-RE NBX-2400  1.022025/04/1");
}

// list --watch: the drives present first, then a line for each that leaves
// or arrives, tick by tick, as drives are unplugged, plugged in and detached.
TEST_F(CliTest, ListWatchFollowsDrivesThatComeAndGo) {
  const std::string e = "E : NORVANE BD-RE QDM-LT58  1.062026/10/0";
  const std::string g = "G : NORVANE BD-RE NBX-2400  1.022025/04/1";
  const std::string h = "H : NORVANE BD-RE NBX-2400  1.022025/04/1";
  const auto script = [this](int tick) {
    if (tick == 1) devices.Unplug('E');
    if (tick == 2) {
      devices.Plug('E');
      devices.Attach('H', emu::GeneralDriveModel());
    }
    if (tick == 3) devices.Detach('G');
  };
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"+", e}, {"+", g},  // present at the start
      {"-", e},            // tick 1
      {"+", e}, {"+", h},  // tick 2
      {"-", g},            // tick 3
  };

  AttachDrives();
  platform.ticksBeforeInterrupt = 4;
  platform.onTick = script;
  const RunResult text = Run({"list", "--watch"});
  EXPECT_EQ(text.exit, Exit::Interrupted);
  std::string lines;
  for (const auto& [sign, label] : expected) lines += sign + " " + label + "\n";
  EXPECT_EQ(text.out, lines);

  devices.Detach('H');
  AttachDrives();
  platform.ticks = 0;
  const RunResult jsonLines = Run({"--json", "list", "--watch"});
  EXPECT_EQ(jsonLines.exit, Exit::Interrupted);
  std::istringstream stream(jsonLines.out);
  std::vector<json> events;
  for (std::string line; std::getline(stream, line);) events.push_back(json::parse(line));
  ASSERT_EQ(events.size(), expected.size()) << jsonLines.out;
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i]["event"], std::string(expected[i].first == "+" ? "arrived" : "left")) << events[i];
    EXPECT_EQ(events[i]["label"], expected[i].second) << events[i];
    EXPECT_EQ(events[i]["device"], expected[i].second.substr(0, 1)) << events[i];
  }
}

TEST_F(CliTest, SettingsJsonIsWhatTheDriveReports) {
  AttachDrives();
  emu::DriveSettings settings;
  settings.quietMode = emu::QuietModePerformance;
  settings.readErrorHandling = true;
  settings.readErrorMode = 0x08;
  settings.realTime = true;
  settings.ejectAtPowerOn = true;
  Drive().SetCurrent(settings);
  const json reported = json::parse(Run({"--json", "settings"}).out);
  EXPECT_EQ(reported["device"], "E");
  EXPECT_EQ(reported["quiet"], "performance");
  EXPECT_EQ(reported["readErrorHandling"], "master");
  EXPECT_EQ(reported["realTime"], true);
  EXPECT_EQ(reported["realTimeSupported"], true);
  EXPECT_EQ(reported["ejectAtPowerOn"], true);

  const json general = json::parse(Run({"settings", "--json", "-d", "G"}).out);
  EXPECT_EQ(general["realTimeSupported"], false);
  EXPECT_TRUE(general["realTime"].is_null()) << "not read while read-error handling is off";
}

struct QualityCase {
  std::uint32_t errors, sectors, frame;
  int level;
  const char* word;
  const char* band;
  const char* timeCode;
};

TEST_F(CliTest, StatusJsonCarriesLevelWordSectorsAndTimeCode) {
  const QualityCase cases[] = {
      {0, 0, 0, 0, "Perfect", "green", "00:00:00"},          {1, 10000, 75, 1, "Better", "green", "00:01:00"},
      {3, 1000, 4500, 6, "Bad", "red", "01:00:00"},          {1, 31, 4499, 8, "Fatal", "red", "00:59:74"},
      {5, 3000000000u, 0, 1, "Better", "green", "00:00:00"},  // counts past 2^31 stay positive
  };
  AttachDrives();
  for (const QualityCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.errors << " errors in " << c.sectors);
    Drive().SetCounters(c.errors, c.sectors, c.frame);
    const json status = json::parse(Run({"status", "--json"}).out);
    EXPECT_EQ(status["supported"], true);
    EXPECT_EQ(status["level"], c.level);
    EXPECT_EQ(status["word"], c.word);
    EXPECT_EQ(status["band"], c.band);
    EXPECT_EQ(status["errorCount"], c.errors);
    EXPECT_EQ(status["transferredSectors"], c.sectors);
    EXPECT_EQ(status["timeCode"], c.timeCode);
  }
}

TEST_F(CliTest, StatusTextShowsTheBarInTheLevelsBand) {
  AttachDrives();
  Drive().SetCounters(1, 2500, 0);  // ratio 0.0004: level 3, yellow
  const RunResult plain = Run({"status"});
  EXPECT_NE(plain.out.find("██ ██ ██ ░░ ░░ ░░ ░░ ░░  Not Good (level 3)"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("Transferred sectors  2500"), std::string::npos) << plain.out;

  const RunResult coloured = Run({"status", "--color", "always"});
  EXPECT_NE(coloured.out.find("\x1b[33m██\x1b[0m \x1b[33m██\x1b[0m \x1b[33m██\x1b[0m \x1b[90m░░"), std::string::npos)
      << coloured.out;
}

TEST_F(CliTest, WatchReadsOnceATickUntilInterrupted) {
  AttachDrives();
  Drive().StartAudio(75, 2000);
  platform.ticksBeforeInterrupt = 3;
  const RunResult result = Run({"status", "--watch", "--json", "--interval", "0.5"});
  EXPECT_EQ(result.exit, Exit::Interrupted) << "a watch ends only when interrupted: " << result.err;
  std::vector<json> ticks;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) ticks.push_back(json::parse(line));
  ASSERT_EQ(ticks.size(), 4u) << "the first reading and three ticks";
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i]["transferredSectors"], 75 * i / 2) << "half a second of playback a tick, tick " << i;
  }
  EXPECT_EQ(Sent().size(), kSelect.size() + 2 * ticks.size()) << "a status read and a counter read a tick";
}

TEST_F(CliTest, WatchKeepsTheLastReadingWhenTheDriveStopsAnswering) {
  AttachDrives();
  Drive().SetCounters(0, 600, 0);
  platform.ticksBeforeInterrupt = 3;
  platform.onTick = [this](int tick) {
    if (tick == 2) devices.Unplug('E');
  };
  const RunResult result = Run({"status", "--watch"});
  EXPECT_EQ(result.exit, Exit::Interrupted);
  const std::string kept = "sectors 600  time 00:00:00  (no answer from the drive; the last reading is shown)";
  std::vector<std::string> lines;
  std::istringstream text(result.out);
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u) << result.out;
  EXPECT_EQ(lines[1].find("(no answer"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(kept), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(kept), std::string::npos) << lines[3];
}

// A drive unplugged and plugged in again is read again: the watch opens it
// anew instead of telling of no answer for the rest of the run.
TEST_F(CliTest, WatchFindsTheDriveAgainAfterAnUnplug) {
  AttachDrives();
  Drive().SetCounters(0, 600, 0);
  platform.ticksBeforeInterrupt = 4;
  platform.onTick = [this](int tick) {
    if (tick == 2) devices.Unplug('E');
    if (tick == 3) {
      devices.Plug('E');
      Drive().SetCounters(0, 900, 0);
    }
  };
  const RunResult result = Run({"status", "--watch"});
  EXPECT_EQ(result.exit, Exit::Interrupted);
  std::vector<std::string> lines;
  std::istringstream text(result.out);
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u) << result.out;
  EXPECT_NE(lines[2].find("(no answer"), std::string::npos) << lines[2];
  for (const std::size_t back : {3u, 4u}) {
    EXPECT_NE(lines[back].find("sectors 900"), std::string::npos) << lines[back];
    EXPECT_EQ(lines[back].find("(no answer"), std::string::npos) << lines[back];
  }
}

struct ExitCase {
  const char* name;
  std::vector<std::string> arguments;
  Exit exit;
  const char* message;
};

TEST_F(CliTest, ExitCodesTellWhatWentWrong) {
  const ExitCase cases[] = {
      {"no subcommand", {}, Exit::Usage, "A subcommand is required"},
      {"unknown value", {"set", "--quiet", "loud"}, Exit::Usage, "not 'loud'"},
      {"nothing to set", {"set"}, Exit::Usage, "name a setting"},
      {"contradiction", {"set", "--quiet", "off", "--real-time", "on"}, Exit::Usage, "needs the quiet-drive feature"},
      {"real-time without read-error handling",
       {"-d", "E", "set", "--real-time", "on"},
       Exit::Usage,
       "needs read-error handling"},
      {"no such drive", {"-d", "K", "settings"}, Exit::NoDrive, "K: is not a CD/DVD drive"},
      {"a hard disk's letter", {"-d", "C:", "settings"}, Exit::NoDrive, "C: is not a CD/DVD drive"},
      {"a network share's letter", {"-d", "Z:\\", "eject"}, Exit::NoDrive, "Z: is not a CD/DVD drive"},
      {"the root folder of a drive's letter", {"-d", "E:\\", "settings"}, Exit::Ok, ""},
      // list takes --device as every subcommand does: that drive, or a refusal.
      {"list of another vendor's drive", {"-d", "D", "list"}, Exit::NoDrive, "D is not a supported drive"},
      {"another vendor's drive", {"-d", "D", "eject"}, Exit::NoDrive, "D is not a supported drive"},
      {"not a drive name", {"-d", "/dev/sr0", "eject"}, Exit::NoDrive, "no drive is named /dev/sr0"},
      {"feature missing",
       {"-d", "G", "set", "--real-time", "on", "--read-error", "perfect"},
       Exit::NotSupported,
       "does not support real-time"},
      {"help", {"set", "--help"}, Exit::Ok, ""},
      {"version", {"--version"}, Exit::Ok, ""},
  };
  AttachDrives();
  devices.AddOtherLetter('C', emu::EmulatedDevices::OtherKind::FixedDisk);
  devices.AddOtherLetter('Z', emu::EmulatedDevices::OtherKind::NetworkShare);
  for (const ExitCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, c.exit) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(devices.ContactsWithOtherLetters(), 0) << "a letter that is no CD/DVD drive is not even opened";
  for (const emu::LoggedCommand& sent : Drive('D').Log()) {
    EXPECT_EQ(sent.cdb, kReadIdentity) << "another vendor's drive is only asked for its identity";
  }
}

// list shows every drive present, those it could not read with the reason,
// and succeeds only when it read them all; with --device, that drive alone.
TEST_F(CliTest, ListNamesTheDrivesItCouldNotRead) {
  AttachDrives();
  const RunResult named = Run({"-d", "G", "list"});
  EXPECT_EQ(named.exit, Exit::Ok) << named.err;
  EXPECT_EQ(named.out, "G : NORVANE BD-RE NBX-2400  1.022025/04/1\n");

  devices.DenyOpens('G', true);
  const RunResult text = Run({"list"});
  EXPECT_EQ(text.exit, Exit::NotPermitted) << text.err;
  EXPECT_EQ(text.out.find("E : NORVANE BD-RE QDM-LT58"), 0u) << text.out;
  EXPECT_NE(text.out.find("\nG : unusable: access denied"), std::string::npos) << text.out;
  EXPECT_NE(text.err.find("not every drive could be read"), std::string::npos) << text.err;

  const RunResult json = Run({"--json", "list"});
  EXPECT_EQ(json.exit, Exit::NotPermitted);
  const nlohmann::json list = nlohmann::json::parse(json.out);
  ASSERT_EQ(list.size(), 2u) << json.out;
  EXPECT_EQ(list[1]["device"], "G");
  EXPECT_NE(list[1]["error"].get<std::string>().find("access denied"), std::string::npos) << json.out;
  EXPECT_FALSE(list[1].contains("label")) << "nothing the drive did not say";
}

// A drive that answers the identity read with "no disc" or "not ready" has
// not said whose it is: another maker's is passed over once its INQUIRY says
// so, as QEMU's CD models and many other drives without a disc answer; one
// of ours that is not ready yet stays a drive that could not be read.
TEST_F(CliTest, ADriveThatRefusesTheIdentityReadIsKnownByItsInquiry) {
  struct Case {
    char refusing;
    Exit exit;
    bool listedAsUnusable;
  };
  AttachDrives();
  for (const Case& c : {Case{'D', Exit::Ok, false}, Case{'G', Exit::CommandFailed, true}}) {
    SCOPED_TRACE(std::string(1, c.refusing));
    Drive(c.refusing).QueueSense({0x2, 0x3A, 0x00});
    const RunResult result = Run({"list"});
    EXPECT_EQ(result.exit, c.exit) << result.err;
    EXPECT_EQ(result.out.find(std::string(1, c.refusing) + " : unusable") != std::string::npos, c.listedAsUnusable)
        << result.out;
    EXPECT_NE(result.out.find("E : NORVANE BD-RE QDM-LT58"), std::string::npos) << result.out;
  }
  Drive('D').QueueSense({0x2, 0x3A, 0x00});
  const RunResult named = Run({"-d", "D", "status"});
  EXPECT_EQ(named.exit, Exit::NoDrive) << named.err;
  EXPECT_NE(named.err.find("D is not a supported drive"), std::string::npos) << named.err;
}

TEST_F(CliTest, NoDriveAtAll) {
  const RunResult result = Run({"list"});
  EXPECT_EQ(result.exit, Exit::NoDrive);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("no supported drive found"), std::string::npos);
}

// The command layer passes over a refused command; the tool reports it, and
// the system's refusal (EPERM) is the one exit code for no permission, but
// for a set the drive took in part, which says so with its own.
TEST_F(CliTest, ACommandTheSystemRefusesFailsTheRun) {
  AttachDrives();
  platform.source.refusedOperation = 0x3B;  // WRITE BUFFER, as Linux refuses it without CAP_SYS_RAWIO
  const RunResult set = Run({"-d", "E", "set", "--quiet", "performance"});
  EXPECT_EQ(set.exit, Exit::PartlyApplied);
  EXPECT_NE(set.err.find("WRITE BUFFER: refused by the operating system: Operation not permitted"), std::string::npos)
      << set.err;
  EXPECT_NE(set.out.find("Quiet drive          performance"), std::string::npos) << "what the drive took is shown";

  for (const std::vector<std::string>& action :
       {std::vector<std::string>{"clear"}, {"factory-reset", "--yes"}, {"force-eject", "--yes"}}) {
    SCOPED_TRACE(action[0]);
    std::vector<std::string> arguments = {"-d", "E"};
    arguments.insert(arguments.end(), action.begin(), action.end());
    const RunResult result = Run(arguments);
    EXPECT_EQ(result.exit, Exit::NotPermitted);
    EXPECT_NE(result.err.find("WRITE BUFFER: refused"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << "no success reported";
  }

  platform.source.refusedOperation = 0x3C;  // READ BUFFER: not even the identity can be read
  const RunResult status = Run({"-d", "E", "status"});
  EXPECT_EQ(status.exit, Exit::NotPermitted) << "a drive that did not answer is not known to be another one";
  EXPECT_NE(status.err.find("identifying E failed:\n  READ BUFFER: refused by the operating system"), std::string::npos)
      << status.err;
}

TEST_F(CliTest, ADriveThatRefusesACommandFailsTheRun) {
  AttachDrives();
  Drive().SetMediumRemovalPrevented(true);
  const RunResult result = Run({"-d", "E", "eject"});
  EXPECT_EQ(result.exit, Exit::CommandFailed);
  EXPECT_NE(
      result.err.find("START STOP UNIT: the drive answered sense 5/53/02 (the tray is locked by another program)"),
      std::string::npos)
      << result.err;
}

// The window shows the zeros of a short read as it always has; the tool must
// not pass them on as what the drive reported.
TEST_F(CliTest, AShortAnswerFailsTheRunInsteadOfShowingZeros) {
  const struct {
    const char* name;
    std::uint8_t buffer;
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {"counters", 0xF5, {"status"}, "reading the status failed:\n  READ BUFFER: the drive moved only 1 of 32 bytes"},
      {"status",
       0xF4,
       {"settings"},
       "reading the settings failed:\n  READ BUFFER: the drive moved only 1 of 256 bytes"},
      {"power",
       0xE6,
       {"-d", "E", "power-check", "--yes"},
       "reading the measurement failed:\n  READ BUFFER: the drive moved only 1 of 8 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AttachDrives();
    Drive().OverrideBuffer(c.buffer, {0xA5});
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, Exit::CommandFailed);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << "nothing made of zeros";
  }
}

TEST_F(CliTest, TraceTellsEveryCommandAndWhatCameOfIt) {
  AttachDrives();
  EXPECT_EQ(Run({"-d", "E", "eject"}).err.find("trace:"), std::string::npos) << "only when asked";

  Drive().SetMediumRemovalPrevented(true);
  const RunResult eject = Run({"--trace", "-d", "E", "eject"});
  EXPECT_EQ(eject.exit, Exit::CommandFailed);
  for (const char* line : {
           "trace: READ BUFFER [3C 02 F1 00 00 00 00 00 30 00 00 00] in 48: good, 48 bytes moved\n",
           "trace: INQUIRY [12 00 00 00 FE 00 00 00 00 00 00 00] in 254: good, 96 bytes moved\n",
           "trace: START STOP UNIT [1B 01 00 00 02 00 00 00 00 00 00 00] no data: sense 5/53/02 (the tray is locked "
           "by another program), 0 bytes moved\n",
       }) {
    EXPECT_NE(eject.err.find(line), std::string::npos) << line << eject.err;
  }

  platform.source.refusedOperation = 0x3B;
  const RunResult clear = Run({"clear", "--trace", "-d", "E"});
  EXPECT_NE(clear.err.find("trace: WRITE BUFFER [3B 02 F5 00 00 00 00 00 00 00 00 00] out 0: not delivered: refused by "
                           "the operating system: Operation not permitted\n"),
            std::string::npos)
      << clear.err;
}

TEST_F(CliTest, AnUnpluggedDriveIsNoDrive) {
  AttachDrives();
  devices.Unplug('E');
  EXPECT_EQ(Run({"-d", "E", "status"}).exit, Exit::NoDrive);
  const RunResult first = Run({"settings"});
  EXPECT_EQ(first.exit, Exit::Ok) << "the next supported drive is the first";
  EXPECT_NE(first.out.find("G : "), std::string::npos);
}

}  // namespace
}  // namespace norvane::test
