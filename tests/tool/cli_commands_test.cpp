// Each subcommand sends what the window sends for the same action: the same
// command blocks, in the same order, with the same data.
#include "cli_test_support.h"

namespace norvane::test {
namespace {

// The Setting tab's reading of a drive whose read-error handling is off: the
// quiet mode, then the status for the read-error mode, the real-time support
// and eject at power-on.
const std::vector<Cdb> kRefresh(4, kReadStatus);
const std::vector<Cdb> kSettingsSent(const Cdb& selection, const Cdb& setting) {
  return {selection, setting, kWritePage, kWritePage, kWritePage};
}

struct CommandCase {
  std::vector<std::string> arguments;
  std::vector<Cdb> expected;
  Exit exit = Exit::Ok;
  std::vector<Bytes> pages = {};  // the data of the pages written to buffer 0xFA, in order
};

TEST_F(CliTest, EachSubcommandSendsTheWindowsCommandBlocks) {
  const CommandCase cases[] = {
      {{"settings"}, Concat({kSelect, kRefresh})},
      // A click on Performance Mode: the whole set, then the drive read back.
      {{"-d", "E", "set", "--quiet", "performance"},
       Concat({kSelect, kRefresh, kSettingsSent(Speed(0x80), Speed(0x81)), kRefresh}),
       Exit::Ok,
       {DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00}), DataPage({}), DataPage({0x0F, 0x00, 0x00})}},
      // A click on "Save setting to the drive" alone.
      {{"-d", "E", "set", "--save"},
       Concat({kSelect, kRefresh, kSettingsSent(Speed(0x81), Speed(0xC2)), kRefresh}),
       Exit::Ok,
       {DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00}), DataPage({}), DataPage({0x0F, 0x00, 0x00})}},
      {{"-d", "E", "set", "--read-error", "master", "--eject-at-power-on", "on"},
       Concat({kSelect, kRefresh, kSettingsSent(Speed(0x81), Speed(0x82)), std::vector<Cdb>(5, kReadStatus)}),
       Exit::Ok,
       {DataPage({0x01, 0x80, 0x01, 0x08, 0x40, 0x00, 0x00}), DataPage({}), DataPage({0x0F, 0x00, 0x01})}},
      // One tick of the Status tab's timer.
      {{"status"}, Concat({kSelect, {kReadStatus, kReadCounters}})},
      // The Status tab's reading of the support, then its Clear button.
      {{"-d", "E", "clear"}, Concat({kSelect, {kReadStatus, kClearCounters}})},
      {{"-d", "E", "eject"}, Concat({kSelect, {kEject}})},
      {{"-d", "E", "force-eject", "--yes"}, Concat({kSelect, {kForceEject}})},
      {{"-d", "E", "factory-reset", "--yes"},
       Concat({kSelect, {Speed(0xC2), kWritePage, kWritePage, kWritePage}}),
       Exit::Ok,
       {DataPage({0x01, 0x80, 0x00, 0x00, 0x00, 0x01, 0x00}), DataPage({}), DataPage({0x0F, 0x00, 0x00})}},
      // A drive without real-time support has no Status tab to show: one status read tells.
      {{"--device", "G", "status"}, {}, Exit::NotSupported},
      // Nor counters to clear: refused after the same read, before anything that changes the drive.
      {{"--device", "G", "clear"}, {}, Exit::NotSupported},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(CommandLine(c.arguments));
    AttachDrives();  // fresh drives in their factory state
    const RunResult result = Run(c.arguments);
    EXPECT_EQ(result.exit, c.exit) << result.err;
    if (c.exit == Exit::NotSupported) {
      EXPECT_EQ(Sent('G'), Concat({kSelect, {kReadStatus}}));
      continue;
    }
    EXPECT_EQ(Sent(), c.expected);
    std::vector<Bytes> pages;
    for (const emu::LoggedCommand& sent : Drive().Log()) {
      if (sent.cdb == kWritePage) pages.push_back(sent.dataOut);
    }
    EXPECT_EQ(pages, c.pages);
  }
}

TEST_F(CliTest, ForceEjectWaitsASecondForTheTray) {
  AttachDrives();
  Drive().SetMediumRemovalPrevented(true);
  EXPECT_EQ(Run({"-d", "E", "eject"}).exit, Exit::CommandFailed) << "a normal eject is refused";
  EXPECT_EQ(Drive().TrayState(), emu::Tray::Closed);
  const std::uint64_t before = devices.Clock().NowMs();
  EXPECT_EQ(Run({"-d", "E", "force-eject", "--yes"}).exit, Exit::Ok);
  EXPECT_EQ(Drive().TrayState(), emu::Tray::Open);
  EXPECT_EQ(devices.Clock().NowMs() - before, 1000u);
}

TEST_F(CliTest, SettingsTakeEffectInTheDrive) {
  AttachDrives();
  const RunResult result = Run({"-d", "E", "set", "--quiet", "persistent", "--read-error", "perfect", "--save"});
  EXPECT_EQ(result.exit, Exit::Ok) << result.err;
  EXPECT_EQ(Drive().Saved().quietMode, emu::QuietModePersistent);
  EXPECT_TRUE(Drive().Saved().readErrorHandling);
  EXPECT_NE(result.out.find("Quiet drive          persistent"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Read-error handling  perfect"), std::string::npos) << result.out;
}

TEST_F(CliTest, TheDeviceOptionPicksADriveByLetter) {
  AttachDrives();
  for (const char* name : {"G", "g", "G:", "\\\\.\\G:"}) {
    SCOPED_TRACE(name);
    Drive('G').ClearLog();
    const RunResult result = Run({"settings", "--device", name});
    EXPECT_EQ(result.exit, Exit::Ok) << result.err;
    EXPECT_EQ(Sent('G'), Concat({kSelect, kRefresh}));
    EXPECT_NE(result.out.find("G : NORVANE BD-RE NBX-2400"), std::string::npos) << result.out;
  }
  EXPECT_TRUE(Drive().Log().empty()) << "the first drive is not touched";
}

}  // namespace
}  // namespace norvane::test
