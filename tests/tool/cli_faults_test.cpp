// The faults a user or a drive can bring about, and what the tool makes of
// them: the exit code, and nothing on standard output that the drive did not
// say or that would hide which drive was acted on.
#include <nlohmann/json.hpp>

#include "cli_test_support.h"
#include "tool/text.h"

namespace norvane::test {
namespace {

using nlohmann::json;

constexpr std::uint8_t kStatusBusy = 0x08;
constexpr const char* kELabel = "E : NORVANE BD-RE QDM-LT58  1.062026/10/0";
constexpr const char* kGLabel = "G : NORVANE BD-RE NBX-2400  1.022025/04/1";

// With --json, what a run that stopped prints: the drive's fields once it
// picked one, and the error; indented, or one line in a watch's stream.
std::string FailureJson(const char* label, const std::string& error, bool line = false) {
  nlohmann::ordered_json failure;
  if (label) {
    const std::string text = label;
    failure = {{"device", text.substr(0, 1)},
               {"label", text},
               {"vendor", "NORVANE"},
               {"product", text.substr(12, 14)},
               {"revision", text.substr(28, 4)}};
  }
  failure["error"] = error;
  return (line ? failure.dump() : failure.dump(2)) + "\n";
}

// A JSON field as text, whatever it holds.
std::string Text(const json& field) { return field.is_string() ? field.get<std::string>() : field.dump(); }

// Linux's answer to opening a drive another program holds for itself.
const SystemError kBusyOpen = {EBUSY, "Device or resource busy"};

// The harness's drives and terminal, open to the cases' set-ups and checks.
class Faults : public CliTest {
 public:
  using CliTest::devices;
  using CliTest::Drive;
  using CliTest::outputFull;
  using CliTest::platform;
  using CliTest::Sent;
};

struct FaultCase {
  const char* fault;
  std::function<void(Faults&)> setUp;
  std::vector<std::string> arguments;
  Exit exit;
  std::string out;      // standard output, exactly
  const char* message;  // a text standard error holds
  std::function<void(Faults&, const RunResult&)> check = nullptr;
};

// Nothing but the selection's reads reached drive G.
void GUntouched(Faults& test, const RunResult&) {
  for (const emu::LoggedCommand& sent : test.Drive('G').Log()) {
    EXPECT_TRUE(sent.cdb == kReadIdentity || sent.cdb == kInquiry) << "a command that changes G went out";
  }
}

// The set's quiet-drive commands went through; its read-error page did not.
void HalfOfTheSetTaken(Faults& test, const RunResult&) {
  const emu::DriveSettings now = test.Drive('E').Current();
  EXPECT_EQ(now.quietMode, emu::QuietModePerformance);
  EXPECT_FALSE(now.readErrorHandling);
}

constexpr const char* kPerformanceReadErrorOff =
    "Drive                E : NORVANE BD-RE QDM-LT58  1.062026/10/0\nQuiet drive          performance\n"
    "Read-error handling  off\nReal-time            - (needs read-error handling)\nEject at power-on    off\n";
constexpr const char* kFactorySettingsOfE =
    "Drive                E : NORVANE BD-RE QDM-LT58  1.062026/10/0\nQuiet drive          quiet\n"
    "Read-error handling  off\nReal-time            - (needs read-error handling)\nEject at power-on    off\n";

void NothingPastTheSelection(Faults& test, const RunResult&) {
  EXPECT_EQ(test.Sent(), kSelect) << "nothing was sent once the run knew it would fail";
}

TEST_F(Faults, EachFaultStopsTheRunWithItsExitCodeAndNothingFalseOnStandardOutput) {
  const std::string longName(120 * 1024, 'x');
  const std::vector<FaultCase> cases = {
      // 1: an action must not land on another drive than the user means.
      {"the first drive is busy at its identity read",
       [](Faults& t) {
         t.Drive('E').QueueReply({kStatusBusy, {}});
       },
       {"factory-reset", "--yes"},
       Exit::Usage,
       "",
       "E (did not identify itself: ",
       GUntouched},
      // A drive the system would not open may be the one meant as much as one that did not answer.
      {"the second drive cannot be opened, none named",
       [](Faults& t) { t.devices.DenyOpens('G', true); },
       {"factory-reset", "--yes"},
       Exit::Usage,
       "",
       "name the one to change with --device:\n  E : NORVANE BD-RE QDM-LT58  1.062026/10/0\n  G (access denied",
       NothingPastTheSelection},
      {"the first drive cannot be opened, none named",
       [](Faults& t) { t.devices.DenyOpens('E', true); },
       {"eject"},
       Exit::Usage,
       "",
       "\n  E (access denied",
       [](Faults& t, const RunResult& r) {
         GUntouched(t, r);
         EXPECT_EQ(t.Drive('G').TrayState(), emu::Tray::Closed);
       }},
      {"two supported drives, none named",
       nullptr,
       {"clear"},
       Exit::Usage,
       "",
       "more than one drive may be meant; name the one to change with --device:\n  E : NORVANE",
       GUntouched},
      {"the drive named",
       nullptr,
       {"-d", "G", "factory-reset", "--yes"},
       Exit::Ok,
       "Drive  G : NORVANE BD-RE NBX-2400  1.022025/04/1\nThe factory settings are restored and saved in the drive.\n",
       ""},
      // An eject is a change too: the tray of a drive the user did not mean stays in.
      {"two supported drives, an eject without a name",
       nullptr,
       {"eject"},
       Exit::Usage,
       "",
       "name the one to change with --device:\n  E : NORVANE BD-RE QDM-LT58  1.062026/10/0\n  G : NORVANE",
       [](Faults& t, const RunResult& r) {
         GUntouched(t, r);
         NothingPastTheSelection(t, r);
       }},
      // 2: an empty variable in a script.
      {"an empty --device",
       nullptr,
       {"--device", "", "factory-reset", "--yes"},
       Exit::Usage,
       "",
       "norvane-drive: --device: the drive name is empty",
       GUntouched},
      // 3: an interval that is no number of seconds.
      {"--interval nan",
       nullptr,
       {"status", "--watch", "--interval", "nan"},
       Exit::Usage,
       "",
       "not 'nan'",
       [](Faults& t, const RunResult&) { EXPECT_TRUE(t.Drive('E').Log().empty()); }},
      {"--interval inf", nullptr, {"status", "--watch", "--interval", "inf"}, Exit::Usage, "", "not 'inf'"},
      // 4: output that cannot be written.
      {"settings on a full disc",
       [](Faults& t) { t.outputFull = true; },
       {"settings"},
       Exit::CommandFailed,
       "",
       "norvane-drive: write error on standard output"},
      {"a watch on a full disc",
       [](Faults& t) { t.outputFull = true; },
       {"status", "--watch"},
       Exit::CommandFailed,
       "",
       "write error on standard output",
       [](Faults& t, const RunResult&) { EXPECT_EQ(t.platform.ticks, 0) << "no polling for nobody"; }},
      {"--help on a full disc",
       [](Faults& t) { t.outputFull = true; },
       {"--help"},
       Exit::CommandFailed,
       "",
       "norvane-drive: write error on standard output"},
      {"--version on a full disc",
       [](Faults& t) { t.outputFull = true; },
       {"--version"},
       Exit::CommandFailed,
       "",
       "norvane-drive: write error on standard output"},
      // 5: readings the drive did not give.
      {"the drive dies during a set",
       [](Faults& t) {
         t.platform.source.beforeCommand = [&t](std::uint8_t operation) {
           if (operation == 0x3B) t.devices.Unplug('E');
         };
       },
       {"-d", "E", "set", "--quiet", "performance"},
       Exit::PartlyApplied,
       "",
       "  failed: read-error handling off, real-time off: WRITE BUFFER: "},
      // A blank identity would pass for the drive's answer.
      {"the INQUIRY does not reach the drive",
       [](Faults& t) {
         t.platform.source.beforeCommand = [&t](std::uint8_t operation) {
           t.devices.FailPassThrough('E', operation == 0x12);
         };
       },
       {"-d", "E", "--json", "settings"},
       Exit::CommandFailed,
       FailureJson(nullptr,
                   "identifying E failed:\n  INQUIRY: no emulated drive answers there (emulated drives: D, E, G)"),
       "identifying E failed:\n  INQUIRY: "},
      // The second SET CD SPEED of the set is lost: nothing goes out after it,
      // and what the drive reports then is shown.
      {"a set that fails half-way",
       [](Faults& t) {
         t.platform.source.beforeCommand = [&t, speeds = 0](std::uint8_t operation) mutable {
           t.devices.FailPassThrough('E', operation == 0xBB && ++speeds == 2);
         };
       },
       {"-d", "E", "set", "--quiet", "off", "--yes"},
       Exit::PartlyApplied,
       "Drive                E : NORVANE BD-RE QDM-LT58  1.062026/10/0\nQuiet drive          persistent\n"
       "Read-error handling  off\nReal-time            - (needs read-error handling)\nEject at power-on    off\n",
       "changing the settings stopped part-way:\n  taken: quiet-drive selection off\n"
       "  failed: quiet-drive setting off: SET CD SPEED: ",
       [](Faults& t, const RunResult&) {
         for (const Cdb& sent : t.Sent()) EXPECT_NE(sent[0], 0x3B) << "a WRITE BUFFER went out after the failure";
         EXPECT_EQ(t.Drive('E').Current().quietMode, emu::QuietModePersistent) << "the first command was taken";
       }},
      // A drive whose identity comes back short has not said whose it is: every subcommand says so alike.
      {"a short identity read, listed",
       [](Faults& t) { t.Drive('E').OverrideBuffer(0xF1, Bytes(20, 0)); },
       {"list"},
       Exit::CommandFailed,
       "G : NORVANE BD-RE NBX-2400  1.022025/04/1\nE : unusable: did not identify itself: READ BUFFER: the drive "
       "moved only 20 of 48 bytes\n",
       "not every drive could be read"},
      {"a short identity read, named",
       [](Faults& t) { t.Drive('E').OverrideBuffer(0xF1, Bytes(20, 0)); },
       {"-d", "E", "settings"},
       Exit::CommandFailed,
       "",
       "identifying E failed:\n  READ BUFFER: the drive moved only 20 of 48 bytes",
       [](Faults& t, const RunResult&) { EXPECT_EQ(t.Sent(), std::vector<Cdb>{kReadIdentity}); }},
      // A refusal after the drive took part of a set: what was taken, what
      // failed and what was never sent, and the drive's settings as it now
      // reports them, under an exit status of its own.
      {"the system refuses the set's WRITE BUFFER (EPERM)",
       [](Faults& t) { t.platform.source.refusedOperation = 0x3B; },
       {"-d", "E", "set", "--quiet", "performance", "--read-error", "master"},
       Exit::PartlyApplied,
       kPerformanceReadErrorOff,
       "norvane-drive: changing the settings stopped part-way:\n"
       "  taken: quiet-drive selection performance; quiet-drive setting performance\n"
       "  failed: read-error handling master, real-time off: WRITE BUFFER: refused by the operating system: "
       "Operation not permitted\n"
       "  not sent: eject at power-on off\n"
       "  the drive now reports the settings shown\n",
       HalfOfTheSetTaken},
      {"the drive is busy at the set's WRITE BUFFER (EBUSY)",
       [](Faults& t) {
         t.platform.source.refusedOperation = 0x3B;
         t.platform.source.refusal = {EBUSY, "refused by the operating system: Device or resource busy"};
       },
       {"-d", "E", "set", "--quiet", "performance", "--read-error", "master"},
       Exit::PartlyApplied,
       kPerformanceReadErrorOff,
       "  failed: read-error handling master, real-time off: WRITE BUFFER: refused by the operating system: "
       "Device or resource busy\n",
       HalfOfTheSetTaken},
      // Refused at its first command, a set changed nothing: the refusal's own status.
      {"the system refuses the set's first command",
       [](Faults& t) {
         t.platform.source.refusedOperation = 0xBB;
         t.platform.source.refusal = {EBUSY, "refused by the operating system: Device or resource busy"};
       },
       {"-d", "E", "set", "--quiet", "performance"},
       Exit::DriveBusy,
       kFactorySettingsOfE,
       "changing the settings failed at its first step, and no other was sent:\n  SET CD SPEED: refused by the "
       "operating system"},
      // Every command of the set went through; only the reading back failed.
      {"the read-back alone fails",
       [](Faults& t) {
         t.platform.source.beforeCommand = [&t, written = false](std::uint8_t operation) mutable {
           written = written || operation == 0x3B;
           t.devices.FailPassThrough('E', written && operation == 0x3C);
         };
       },
       {"-d", "E", "set", "--eject-at-power-on", "on"},
       Exit::CommandFailed,
       "",
       "norvane-drive: the drive took every command of the change, but reading the settings back failed, so whether "
       "it holds them is not known:\n  READ BUFFER: ",
       [](Faults& t, const RunResult&) { EXPECT_TRUE(t.Drive('E').Current().ejectAtPowerOn); }},
      // A signal during a set waits for the set's end and the reading back.
      {"a termination request in the middle of a set",
       [](Faults& t) {
         t.platform.source.beforeCommand = [&t, writes = 0](std::uint8_t operation) mutable {
           if (operation == 0x3B && ++writes == 1) t.platform.Signal(143);
         };
       },
       {"-d", "E", "set", "--quiet", "performance", "--read-error", "master", "--eject-at-power-on", "on"},
       static_cast<Exit>(143),
       "Drive                E : NORVANE BD-RE QDM-LT58  1.062026/10/0\nQuiet drive          performance\n"
       "Read-error handling  master\nReal-time            off\nEject at power-on    on\n",
       "norvane-drive: interrupted: the change was let finish first\n",
       [](Faults& t, const RunResult&) {
         const emu::DriveSettings now = t.Drive('E').Current();
         EXPECT_TRUE(now.readErrorHandling && now.ejectAtPowerOn) << "the whole set reached the drive";
       }},
      {"Ctrl-C as a factory reset goes out",
       [](Faults& t) {
         t.platform.source.beforeCommand = [&t](std::uint8_t operation) {
           if (operation == 0xBB) t.platform.Signal(130);
         };
       },
       {"-d", "E", "factory-reset", "--yes"},
       Exit::Interrupted,
       "Drive  E : NORVANE BD-RE QDM-LT58  1.062026/10/0\nThe factory settings are restored and saved in the drive.\n",
       "interrupted: the change was let finish first"},
      {"a short transfer: 4 of 32 counter bytes",
       [](Faults& t) {
         t.Drive('E').OverrideBuffer(0xF5, {0, 0, 0, 1});
       },
       {"status"},
       Exit::CommandFailed,
       "",
       "READ BUFFER: the drive moved only 4 of 32 bytes"},
      // 6: WRITE BUFFER refused where capabilities do not reach the device.
      {"a user namespace",
       [](Faults& t) { t.platform.source.writeBufferRefusal = "refused inside a user namespace"; },
       {"-d", "E", "set", "--quiet", "performance"},
       Exit::NotPermitted,
       "",
       "cannot change the settings: refused inside a user namespace",
       NothingPastTheSelection},
      // With no drive named, a user every drive refuses hears why, not that there is none.
      {"every drive refuses this user, none named",
       [](Faults& t) {
         t.devices.DenyOpens('E', true);
         t.devices.DenyOpens('G', true);
       },
       {"status"},
       Exit::NotPermitted,
       "",
       "no supported drive found; these could not be opened:\n  E: access denied",
       [](Faults& t, const RunResult&) {
         EXPECT_TRUE(t.Drive('E').Log().empty() && t.Drive('G').Log().empty()) << "a command reached a drive";
       }},
      // 7: a drive that does not answer is not another vendor's drive.
      {"BUSY at every command",
       [](Faults& t) {
         t.Drive('E').QueueReply({kStatusBusy, {}}, 100);
       },
       {"-d", "E", "settings"},
       Exit::CommandFailed,
       "",
       "identifying E failed:\n  READ BUFFER: the drive answered status 08"},
      {"a unit attention at every command",
       [](Faults& t) {
         t.Drive('E').QueueSense({0x6, 0x29, 0x00}, 100);
       },
       {"-d", "E", "settings"},
       Exit::CommandFailed,
       "",
       "sense 6/29/00 (the drive was reset)"},
      // A drive another program holds is busy (9), whichever command meets it, and nothing is sent.
      {"another program holds the drive: EBUSY",
       [](Faults& t) { t.platform.source.refusedOpens['E'] = kBusyOpen; },
       {"-d", "E", "settings"},
       Exit::DriveBusy,
       "",
       "E: Device or resource busy (the drive is in use by another program)",
       [](Faults& t, const RunResult&) { EXPECT_TRUE(t.Sent().empty()); }},
      // The system's words stand inside the sentence on one line.
      {"a system text with line breaks",
       [](Faults& t) {
         t.platform.source.refusedOpens['E'] = {EIO, "The device is not ready.\r\nTry again.\r\n"};
       },
       {"-d", "E", "settings"},
       Exit::NoDrive,
       "",
       "norvane-drive: E: The device is not ready. Try again.\n",
       [](Faults&, const RunResult& r) { EXPECT_EQ(r.err.find('?'), std::string::npos) << r.err; }},
      // A script reading JSON gets an object that says what failed, from every command.
      {"--json, the named drive busy, a reading",
       [](Faults& t) { t.platform.source.refusedOpens['E'] = kBusyOpen; },
       {"-d", "E", "--json", "settings"},
       Exit::DriveBusy,
       FailureJson(nullptr, "E: Device or resource busy (the drive is in use by another program)"),
       "in use by another program"},
      {"--json, the named drive busy, list",
       [](Faults& t) { t.platform.source.refusedOpens['E'] = kBusyOpen; },
       {"-d", "E", "--json", "list"},
       Exit::DriveBusy,
       FailureJson(nullptr, "E: Device or resource busy (the drive is in use by another program)"),
       "in use by another program"},
      {"--json, a change refused for want of confirmation",
       nullptr,
       {"-d", "E", "--json", "factory-reset"},
       Exit::NotConfirmed,
       FailureJson(kELabel,
                   std::string("not confirmed: \"Reset all of the drive's settings to the factory default?\" (") +
                       kELabel + ") needs an answer, and there is no terminal to ask on; pass --yes to give it"),
       "not confirmed"},
      // A watch's stream is one object a line to its end, a refusal included.
      {"status --watch --json on a drive without counters",
       nullptr,
       {"-d", "G", "--json", "status", "--watch"},
       Exit::NotSupported,
       R"({"device":"G","label":"G : NORVANE BD-RE NBX-2400  1.022025/04/1","vendor":"NORVANE","product":"BD-RE )"
       R"(NBX-2400","revision":"1.02","supported":false,"error":"this drive does not support real-time )"
       R"(read-error handling: it counts no errors"})"
       "\n",
       "counts no errors"},
      // 8: a forced eject under a mounted file system.
      {"force-eject of a mounted disc",
       [](Faults& t) { t.platform.source.mountedAt = "/media/disc"; },
       {"-d", "E", "force-eject", "--yes"},
       Exit::CommandFailed,
       "",
       "cannot force the disc out: E is mounted on /media/disc; unmount it first",
       [](Faults& t, const RunResult& r) {
         NothingPastTheSelection(t, r);
         EXPECT_EQ(t.Drive('E').TrayState(), emu::Tray::Closed);
       }},
      // 9: text that would reach the terminal as escapes, and names too long to echo.
      {"C1 controls in the INQUIRY text",
       [](Faults& t) { t.Drive('E').OverrideInquiry(Inquiry(std::string("BD") + kC1ControlBytes + "2J")); },
       {"-d", "E", "eject"},
       Exit::Ok,
       "Drive  E : NORVANE BD?2J\nThe disc is ejected.\n",
       ""},
      {"a 120 KB --device",
       nullptr,
       {"-d", longName, "settings"},
       Exit::NoDrive,
       "",
       "no drive is named xxx",
       [](Faults&, const RunResult& r) { EXPECT_LT(r.err.size(), 200u) << "the name is cut short"; }},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.fault);
    platform.source.beforeCommand = nullptr;
    platform.source.refusedOperation.reset();
    platform.source.refusal = ScriptedSource::kNotPermitted;
    platform.source.writeBufferRefusal.reset();
    platform.source.mountedAt.reset();
    platform.source.refusedOpens.clear();
    platform.ticks = 0;
    outputFull = false;
    for (const char letter : {'E', 'G'}) {
      devices.DenyOpens(letter, false);
      devices.FailPassThrough(letter, false);
    }
    AttachDrives();
    if (c.setUp) c.setUp(*this);
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, c.exit) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    if (c.check) c.check(*this, result);
  }
}

// A watch in JSON says on its line that the drive did not answer, instead of
// repeating the last values as if they were new.
TEST_F(Faults, AJsonWatchMarksATickWithoutAnAnswer) {
  AttachDrives();
  Drive().SetCounters(0, 600, 0);
  platform.ticksBeforeInterrupt = 2;
  platform.onTick = [this](int tick) {
    if (tick == 2) devices.Unplug('E');
  };
  const RunResult result = Run({"status", "--watch", "--json"});
  std::vector<json> lines;
  std::istringstream text(result.out);
  for (std::string line; std::getline(text, line);) lines.push_back(json::parse(line));
  ASSERT_EQ(lines.size(), 3u) << result.out;
  EXPECT_EQ(lines[1]["transferredSectors"], 600);
  EXPECT_EQ(lines[2]["error"], "no answer from the drive");
  EXPECT_FALSE(lines[2].contains("level")) << lines[2];
  EXPECT_EQ(lines[2]["device"], "E") << "the line still says which drive";
}

// --- watches: the drive, not the node; the reader, not only the writes ---

struct WatchCase {
  const char* fault;
  std::vector<std::string> arguments;
  std::function<void(Faults&, int tick)> onTick;
  Exit exit;
  std::string out;      // standard output, exactly
  const char* message;  // a text standard error holds
  std::function<void(Faults&, const RunResult&)> check = nullptr;
};

const std::vector<Cdb> kLookAtOurs = {kInquiry, kReadIdentity, kInquiry};

// E's quiet drive replaced by one of another firmware at the same letter.
void ReplaceE(Faults& t) {
  emu::DriveModel other = emu::QuietDriveModel();
  other.revision = "1.07";
  t.devices.Attach('E', other).SetCounters(0, 5000, 0);
}

TEST_F(Faults, AWatchFollowsItsDriveAndItsReader) {
  const std::string e = std::string(kELabel) + "\n", g = std::string(kGLabel) + "\n";
  const std::vector<WatchCase> cases = {
      // A drive another program holds for a moment is present all along.
      {"a drive busy for a tick under list --watch",
       {"list", "--watch"},
       [](Faults& t, int tick) {
         if (tick == 1) t.platform.source.refusedOpens['E'] = kBusyOpen;
         if (tick == 1) t.platform.deviceEvent = true;
         if (tick == 2) t.platform.source.refusedOpens.clear();
       },
       Exit::Interrupted,
       "+ " + e + "+ " + g +
           "! E : unreadable: Device or resource busy (the drive is in use by another program)\n= " + e,
       ""},
      {"a drive busy for a tick under list --watch --json",
       {"--json", "list", "--watch"},
       [](Faults& t, int tick) {
         if (tick == 1) t.platform.source.refusedOpens['E'] = kBusyOpen;
         if (tick == 1) t.platform.deviceEvent = true;
         if (tick == 2) t.platform.source.refusedOpens.clear();
       },
       Exit::Interrupted,
       "",
       "",
       [](Faults&, const RunResult& r) {
         std::vector<json> lines;
         std::istringstream text(r.out);
         for (std::string line; std::getline(text, line);) lines.push_back(json::parse(line));
         ASSERT_EQ(lines.size(), 4u) << r.out;
         EXPECT_EQ(lines[2]["event"], "unreadable");
         EXPECT_EQ(lines[2]["device"], "E");
         EXPECT_NE(Text(lines[2]["error"]).find("in use by another program"), std::string::npos);
         EXPECT_EQ(lines[3]["event"], "readable");
         EXPECT_EQ(lines[3]["label"], kELabel);
       }},
      // Ticks without a word from the system leave the drives shown alone;
      // a word has every drive looked at, another maker's by its INQUIRY alone.
      {"list --watch between device events",
       {"list", "--watch"},
       [](Faults& t, int tick) { t.platform.deviceEvent = tick == 3; },
       Exit::Interrupted,
       "+ " + e + "+ " + g,
       "",
       [](Faults& t, const RunResult&) {
         EXPECT_EQ(t.Sent('E'), Concat({kLookAtOurs, kLookAtOurs})) << "looked at once at the start, once at the event";
         for (const Cdb& sent : t.Sent('D')) EXPECT_EQ(sent, kInquiry) << "a vendor command reached D";
         EXPECT_EQ(t.Sent('D').size(), 2u);
       }},
      {"list --watch --device",
       {"-d", "G", "list", "--watch"},
       [](Faults& t, int tick) {
         if (tick == 2) t.devices.Unplug('G');
         t.platform.deviceEvent = true;
       },
       Exit::Interrupted,
       "+ " + g + "- " + g,
       "",
       [](Faults& t, const RunResult&) { EXPECT_TRUE(t.Sent('E').empty()) << "a drive not named was looked at"; }},
      // Nothing to print, and nobody reading: the watch ends within a tick.
      {"list --watch whose reader has gone",
       {"list", "--watch"},
       [](Faults& t, int tick) { t.platform.outputGone = tick == 1; },
       Exit::CommandFailed,
       "+ " + e + "+ " + g,
       "standard output is closed",
       [](Faults& t, const RunResult&) { EXPECT_EQ(t.platform.ticks, 1); }},
      // The watched drive unplugged and another plugged in at its letter: its
      // readings are not shown under the first drive's name.
      {"another drive at the watched letter",
       {"status", "--watch"},
       [](Faults& t, int tick) {
         if (tick == 1) t.devices.Unplug('E');
         if (tick == 2) ReplaceE(t);
       },
       Exit::NoDrive,
       "",
       "E: another drive is there now (E : NORVANE BD-RE QDM-LT58  1.072026/10/0), not the one watched (E : NORVANE "
       "BD-RE QDM-LT58  1.062026/10/0); the watch ends",
       [](Faults& t, const RunResult& r) {
         EXPECT_EQ(r.out.find("5000"), std::string::npos) << "the other drive's counters were shown: " << r.out;
         EXPECT_EQ(t.platform.ticks, 2);
       }},
      {"another drive at the watched letter, --json",
       {"--json", "status", "--watch"},
       [](Faults& t, int tick) {
         if (tick == 1) t.devices.Unplug('E');
         if (tick == 2) ReplaceE(t);
       },
       Exit::NoDrive,
       "",
       "the watch ends",
       [](Faults&, const RunResult& r) {
         std::vector<json> lines;
         std::istringstream text(r.out);
         for (std::string line; std::getline(text, line);) lines.push_back(json::parse(line));
         ASSERT_EQ(lines.size(), 3u) << r.out;
         EXPECT_EQ(lines[2]["label"], kELabel) << "the line names the drive watched";
         EXPECT_NE(Text(lines[2]["error"]).find("the watch ends"), std::string::npos);
       }},
      // The same drive back at its letter: the watch goes on with it.
      {"the watched drive plugged in again",
       {"status", "--watch"},
       [](Faults& t, int tick) {
         if (tick == 1) t.devices.Unplug('E');
         if (tick == 2) t.devices.Plug('E');
       },
       Exit::Interrupted,
       "",
       "",
       [](Faults&, const RunResult& r) {
         EXPECT_NE(r.out.find("no answer from the drive"), std::string::npos) << r.out;
         EXPECT_EQ(r.out.rfind("no answer"), r.out.find("no answer")) << "read again after the plug: " << r.out;
       }},
  };
  for (const WatchCase& c : cases) {
    SCOPED_TRACE(c.fault);
    platform.source.refusedOpens.clear();
    platform.ticks = 0;
    platform.ticksBeforeInterrupt = 3;
    platform.deviceEvent = platform.outputGone = false;
    platform.onTick = [this, &c](int tick) { c.onTick(*this, tick); };
    AttachDrives();
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, c.exit) << result.err;
    if (!c.out.empty()) {
      EXPECT_EQ(result.out, c.out);
    }
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    if (c.check) c.check(*this, result);
  }
}

TEST(TextSafety, C1ControlsAndBrokenUtf8BecomeQuestionMarks) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"\xC2\x9B"
       "31m",
       "?31m"},                                  // CSI as one UTF-8 character
      {"a\xC2\x80z", "a?z"},                     // the first C1 control
      {"a\xC2\x9F", "a?"},                       // the last
      {"\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9"},  // no-break space and é stay
      {"\x1b[2J", "?[2J"},
  };
  for (const auto& c : cases) EXPECT_EQ(tool::Printable(c.in), c.out) << c.in;
  EXPECT_EQ(tool::Shortened(std::string(200, 'a')), std::string(80, 'a') + "...");
  EXPECT_EQ(tool::Shortened(std::string(79, 'a') + "\xC3\xA9"), std::string(79, 'a') + "...")
      << "never half a character";
}

}  // namespace
}  // namespace norvane::test
