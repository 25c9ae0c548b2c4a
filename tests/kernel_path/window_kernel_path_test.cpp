// The shipped NorvaneDriveUtility.exe, unmodified, under Wine: its drive
// letters are the emulated device nodes, so every command goes through
// Wine's IOCTL_SCSI_PASS_THROUGH_DIRECT down to SG_IO. A driver program
// does the window actions of the shared table; the runner here sets the
// drive up before each and compares what reached SG_IO.
//
// Run from the Windows builds' CTest (kernel_path_x86, kernel_path_x64),
// which name the program, the driver and the word size.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "child_process.h"
#include "kernel_path_support.h"
#include "kernel_path_wine.h"

namespace norvane::kernel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Required(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool IsCounterRead(const KernelRecord& record) {
  return record.cdb.size() >= 3 && record.cdb[0] == 0x3C && record.cdb[2] == 0xF5;
}

// The runner's side of the conversation with the driver: answers its
// questions until it reports.
class Driver {
 public:
  Driver(const Wine& wine, Drives& drives)
      : m_drives(drives),
        m_process({wine.Loader(), Required("NORVANE_DRIVER"), Required("NORVANE_PROGRAM")}, wine.Environment(),
                  wine.Log().string()) {}

  std::string Tell(const std::string& command) {
    m_process.WriteLine(command);
    for (;;) {
      const std::optional<std::string> line = m_process.ReadLine(90s);
      if (!line) return "(no answer)";
      if (line->starts_with("advance ")) {
        const std::uint64_t ms = std::stoull(line->substr(8));
        m_drives.devices.WithDrives([ms](emu::EmulatedDevices& drives) { drives.Clock().Advance(ms); });
      } else if (*line == "await-hold") {
        if (!m_drives.devices.WaitForHeldCommand(10s)) return "(no command was held)";
      } else if (*line == "await-tick") {
        // The page reads once as its tab is selected; a tick is the read after that.
        const std::vector<KernelRecord> before = m_drives.devices.Log();
        const auto readsBefore = static_cast<std::size_t>(std::count_if(before.begin(), before.end(), IsCounterRead));
        m_drives.devices.WaitForLog(
            [&](const std::vector<KernelRecord>& log) {
              return static_cast<std::size_t>(std::count_if(log.begin(), log.end(), IsCounterRead)) > readsBefore;
            },
            5s);
      } else {
        return *line;
      }
      m_process.WriteLine("ok");
    }
  }
  int Wait() { return m_process.Wait(30s); }

 private:
  Drives& m_drives;
  ChildProcess m_process;
};

// The program under Wine on the emulated drives, started by the first
// action of the table.
struct Session {
  Session()
      : architecture(Required("NORVANE_WORD_SIZE")),
        wordSize(architecture == "x64" ? 64 : 32),
        drives("win-" + architecture, kStrictestAdapterAlignment),
        wine(architecture, fs::path(Required("NORVANE_DRIVER")).parent_path() / "wineprefix", drives),
        driver(wine, drives) {}

  std::string architecture;
  int wordSize;
  Drives drives;
  Wine wine;
  Driver driver;
};

// Prints what the kernel saw of each action when NORVANE_KERNEL_LOG is set.
void Show(const std::string& action, const std::vector<KernelRecord>& log) {
  if (Required("NORVANE_KERNEL_LOG").empty()) return;
  std::printf("--- %s\n", action.c_str());
  for (const KernelRecord& record : log) std::printf("%s", Describe(record).c_str());
}

// Whether this machine runs 32-bit programs at all: Linux can be built or
// booted without its IA-32 emulation, and then Wine's 32-bit loader fails
// with "Exec format error".
bool Runs32BitPrograms() {
  ChildProcess probe({"/usr/lib/wine/wine", "--version"}, {});
  probe.CloseInput();
  probe.ReadAll(30s);
  return probe.Wait(30s) == 0;
}

void ExpectReady() {
  ASSERT_FALSE(Required("NORVANE_PROGRAM").empty() || Required("NORVANE_DRIVER").empty() ||
               Required("NORVANE_WORD_SIZE").empty())
      << "run from the Windows builds' CTest";
  ASSERT_FALSE(Required("DISPLAY").empty()) << "Wine needs an X display";
  if (Required("NORVANE_WORD_SIZE") == "x86") {
    ASSERT_TRUE(Runs32BitPrograms()) << "this machine cannot start 32-bit programs (its kernel's IA-32 emulation is "
                                        "off), so Wine cannot run the x86 program here";
  }
}

void Start(Session& session) {
  session.drives.SetUp(test::WindowActions().front().setup);
  ASSERT_TRUE(session.driver.Tell("start").starts_with("done"))
      << "the program did not start; see " << session.wine.Log();
}

// Prepares action `index`, counts from there, runs it; answers the driver's report.
std::string Perform(Session& session, std::size_t index, const std::function<void()>& beforeRun = {}) {
  if (session.driver.Tell("prepare " + std::to_string(index)) != "ready") return "not prepared";
  session.drives.devices.ClearLog();
  if (beforeRun) beforeRun();
  return session.driver.Tell("run " + std::to_string(index));
}

void Quit(Session& session) {
  EXPECT_EQ(session.driver.Tell("quit"), "exit 0");
  EXPECT_EQ(session.driver.Wait(), 0);
}

TEST(WindowKernelPath, EveryActionSendsItsSequence) {
  ASSERT_NO_FATAL_FAILURE(ExpectReady());
  Session session;
  ASSERT_NO_FATAL_FAILURE(Start(session));
  const std::vector<test::WindowAction>& actions = test::WindowActions();
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const test::WindowAction& action = actions[i];
    if (i > 0) {
      session.drives.SetUp(action.setup);
      const std::string reply = Perform(session, i);
      ASSERT_TRUE(reply.starts_with("done")) << action.name << ": " << reply;
      if (action.answer != test::kAnswerOk || action.expected.empty()) {
        EXPECT_NE(reply, "done 0") << action.name << ": no confirmation was asked";
      }
    }
    Show(action.name, session.drives.devices.Log());
    ExpectLog(session.drives.devices.Log(), action.expected, session.wordSize, action.name);
  }
  Quit(session);
}

// --- faults at the kernel boundary ---

KernelFault Fault(KernelFault::Kind kind, int after = 0) {
  KernelFault fault;
  fault.kind = kind;
  fault.after = after;
  return fault;
}

struct WindowFaultRow {
  std::string name;
  std::function<void(KernelDevices&)> beforePrepare;  // faults of the drive's opening
  std::function<void(KernelDevices&)> beforeRun;      // faults of the action's commands
  std::function<test::Sequence(const test::Sequence&)> expected;
};

// A Settings click: nothing of the set goes out after a command that was
// refused or not delivered (the page learns what the drive took by reading
// it again), a unit attention repeats its command, and the window keeps
// answering.
TEST(WindowKernelPath, FaultsAtTheKernelBoundary) {
  ASSERT_NO_FATAL_FAILURE(ExpectReady());
  constexpr std::size_t kClick = 1;
  const std::vector<std::uint8_t> fixedReset = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00, 0, 0, 0, 0};
  const std::vector<std::uint8_t> descriptorReset = {0x72, 0x06, 0x29, 0x00, 0, 0, 0, 0};
  const std::vector<std::uint8_t> fixedInvalid = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00, 0, 0, 0, 0};
  const std::vector<std::uint8_t> descriptorInvalid = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0};
  const auto repeatedFirst = [](const test::Sequence& s) {
    test::Sequence repeated = s;
    repeated.insert(repeated.begin(), s.front());
    return repeated;
  };
  const auto none = [](const test::Sequence&) { return test::Sequence{}; };
  // The set up to the command that failed, then the page's reading of the drive.
  constexpr std::size_t kSetLength = 5;  // two SET CD SPEEDs and three setting pages
  const auto stoppedAt = [](std::size_t failed) {
    return [failed](const test::Sequence& s) {
      test::Sequence sent(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(failed) + 1);
      sent.insert(sent.end(), s.begin() + kSetLength, s.end());
      return sent;
    };
  };
  const auto queue = [](KernelFault fault) { return [fault](KernelDevices& d) { d.QueueFault("sr0", fault); }; };
  const KernelFault shortRead = Shortened(250, 5);
  const std::vector<WindowFaultRow> rows = {
      {"the ioctl fails with EIO", {}, queue(Failing(EIO, 0)), stoppedAt(0)},
      {"the drive is pulled out while open: ENODEV", {}, [](KernelDevices& d) { d.Unplug("sr0"); }, stoppedAt(0)},
      {"no access to the node: EACCES", [](KernelDevices& d) { d.FailOpens("sr0", EACCES); }, {}, none},
      {"the kernel refuses WRITE BUFFER: EPERM", {}, queue(Failing(EPERM, 2)), stoppedAt(2)},
      {"a unit attention, fixed sense", {}, queue(Answering(fixedReset)), repeatedFirst},
      {"a unit attention, descriptor sense", {}, queue(Answering(descriptorReset)), repeatedFirst},
      {"an illegal request, fixed sense", {}, queue(Answering(fixedInvalid)), stoppedAt(0)},
      {"an illegal request, descriptor sense", {}, queue(Answering(descriptorInvalid)), stoppedAt(0)},
      {"a short transfer", {}, queue(shortRead), Unchanged},
      // Wine passes on the SCSI status alone, which reads good: the set goes on.
      {"a command that never completes", {}, queue(Fault(KernelFault::Kind::Timeout)), Unchanged},
      {"no fault: the window is whole again", {}, {}, Unchanged},
  };
  Session session;
  ASSERT_NO_FATAL_FAILURE(Start(session));
  const test::WindowAction& action = test::WindowActions()[kClick];
  for (const WindowFaultRow& row : rows) {
    session.drives.SetUp(action.setup);
    if (row.beforePrepare) row.beforePrepare(session.drives.devices);
    const std::string reply = Perform(session, kClick, [&] {
      if (row.beforeRun) row.beforeRun(session.drives.devices);
    });
    EXPECT_TRUE(reply.starts_with("done")) << row.name << ": the window does not answer: " << reply;
    Show(row.name, session.drives.devices.Log());
    ExpectLog(session.drives.devices.Log(), row.expected(action.expected), session.wordSize, row.name);
    session.drives.devices.Plug("sr0");
  }
  Quit(session);
}

// A drive that holds a command for a minute, as a hung drive holds one up
// to its time-out: the window keeps answering what another program sends it
// (the system's test for a window that stopped responding), and closing it
// from the taskbar meanwhile ends the program at once and cleanly, the
// command still held.
TEST(WindowKernelPath, AHeldCommandLeavesTheWindowAnsweringAndClosable) {
  ASSERT_NO_FATAL_FAILURE(ExpectReady());
  const std::vector<test::WindowAction>& actions = test::WindowActions();
  const auto eject = std::find_if(actions.begin(), actions.end(),
                                  [](const test::WindowAction& a) { return a.name == "Utility: EJECT"; });
  ASSERT_NE(eject, actions.end());
  const std::size_t index = static_cast<std::size_t>(eject - actions.begin());
  Session session;
  ASSERT_NO_FATAL_FAILURE(Start(session));
  session.drives.SetUp(eject->setup);
  ASSERT_EQ(session.driver.Tell("prepare " + std::to_string(index)), "ready");
  session.drives.devices.HoldAnswers("sr0", 60s);
  const std::string reply = session.driver.Tell("hold " + std::to_string(index) + " 5000");
  int answered = -1, late = -1;
  unsigned long code = 1, closingMs = 0;
  ASSERT_EQ(std::sscanf(reply.c_str(), "held %d %d exit %lu after %lu", &answered, &late, &code, &closingMs), 4)
      << reply << "; see " << session.wine.Log();
  EXPECT_GE(answered, 10);
  EXPECT_EQ(late, 0) << "the window left a message unanswered for a second while the drive held a command";
  EXPECT_EQ(code, 0u) << "the program did not end cleanly";
  EXPECT_LT(closingMs, 20000u) << "the program waited for the held command before it ended";
  EXPECT_EQ(session.driver.Wait(), 0);
}

// --- drives that come and go ---

std::size_t IndexOf(const std::string& name) {
  const std::vector<test::WindowAction>& actions = test::WindowActions();
  const auto found =
      std::find_if(actions.begin(), actions.end(), [&](const test::WindowAction& a) { return a.name == name; });
  if (found == actions.end()) throw std::logic_error("no window action " + name);
  return static_cast<std::size_t>(found - actions.begin());
}

// The letters of the window's drive list once it shows `expected`, or what
// it showed last when 30 s passed.
std::string ListOnceItShows(Session& session, const std::string& expected) {
  std::string listed;
  for (const auto start = std::chrono::steady_clock::now(); std::chrono::steady_clock::now() - start < 30s;
       std::this_thread::sleep_for(100ms)) {
    listed = session.driver.Tell("drives");
    if (listed == "drives " + expected) break;
  }
  return listed.starts_with("drives ") ? listed.substr(7) : "(" + listed + ")";
}

std::string Notify(Session& session, const std::string& notification) {
  return session.driver.Tell("notify " + notification);
}

// The program's handles to the device behind `node`, as the system's handle
// table lists them: a drive is known by its node's inode.
std::vector<std::string> ProgramHandlesTo(Session& session, const std::string& node) {
  struct stat st {};
  if (stat(session.drives.devices.NodePath(node).c_str(), &st) != 0) return {"(no node)"};
  std::istringstream reply(session.driver.Tell("handles " + std::to_string(st.st_ino)));
  std::string word;
  std::vector<std::string> handles;
  reply >> word;
  if (word != "handles") return {"(" + reply.str() + ")"};
  while (reply >> word) handles.push_back(word);
  return handles;
}

std::vector<NodeEvent> EventsOf(const std::vector<NodeEvent>& events, NodeEvent::Kind kind, const std::string& node) {
  std::vector<NodeEvent> chosen;
  std::copy_if(events.begin(), events.end(), std::back_inserter(chosen),
               [&](const NodeEvent& e) { return e.kind == kind && e.node == node; });
  return chosen;
}

std::string Described(const std::vector<NodeEvent>& events) {
  std::string text;
  for (const NodeEvent& event : events) text += "  " + Describe(event) + "\n";
  return text;
}

// Prints the device's events when NORVANE_KERNEL_LOG is set.
void ShowEvents(const std::string& step, const std::vector<NodeEvent>& events) {
  if (!Required("NORVANE_KERNEL_LOG").empty()) std::printf("--- %s\n%s", step.c_str(), Described(events).c_str());
}

// Waits until the device's events hold one of `kind` on `node`; answers them all.
std::vector<NodeEvent> AwaitEvent(Session& session, NodeEvent::Kind kind, const std::string& node) {
  session.drives.devices.WaitForEvents(
      [&](const std::vector<NodeEvent>& events) { return !EventsOf(events, kind, node).empty(); }, 20s);
  return session.drives.devices.Events();
}

// The first command of the start-up scan: the question a drive is asked first.
test::ExpectedCommand FirstProbe() { return test::WindowActions().front().expected.front(); }

struct ComingAndGoingRow {
  std::string name;
  bool plugged;              // the drive comes (true) or goes
  std::string notification;  // what the system then tells the window
  std::string listed;        // the list that follows
};

// The quiet drive's node goes and comes back while the program runs, and
// the window is told as Windows tells it, of the volume or of the CD/DVD
// drive class. The list follows; a drive that came back is asked anew
// first of all, and the next action reaches it.
TEST(WindowKernelPath, TheListFollowsDrivesThatComeAndGo) {
  ASSERT_NO_FATAL_FAILURE(ExpectReady());
  const std::vector<ComingAndGoingRow> rows = {
      {"the shown drive pulled out, its volume removed", false, "remove-complete volume E", "G"},
      {"plugged in again, its volume arrived", true, "arrival volume E", "EG"},
      {"pulled out, a CD/DVD drive removed", false, "remove-complete interface", "G"},
      {"plugged in again, a CD/DVD drive arrived", true, "arrival interface", "EG"},
  };
  Session session;
  ASSERT_NO_FATAL_FAILURE(Start(session));
  ASSERT_EQ(ListOnceItShows(session, "EG"), "EG");
  for (const ComingAndGoingRow& row : rows) {
    session.drives.devices.ClearLog();
    if (row.plugged) {
      session.drives.devices.Plug("sr0");
    } else {
      session.drives.devices.Unplug("sr0");
    }
    EXPECT_EQ(Notify(session, row.notification), "answer 1") << row.name;
    EXPECT_EQ(ListOnceItShows(session, row.listed), row.listed) << row.name;
    const std::vector<NodeEvent> events = session.drives.devices.Events();
    ShowEvents(row.name, events);
    const std::vector<NodeEvent> commands = EventsOf(events, NodeEvent::Kind::Command, "sr0");
    if (!row.plugged) {
      EXPECT_TRUE(commands.empty()) << row.name << ": a command reached the drive that went\n" << Described(events);
      continue;
    }
    ASSERT_FALSE(commands.empty()) << row.name << ": the drive that came back was never asked\n" << Described(events);
    EXPECT_EQ(Received({commands.front().command}).front(), WithoutEmptyDirections({FirstProbe()}).front())
        << row.name << ": the first command after the drive came back\n"
        << Described(events);
  }
  const std::size_t click = IndexOf("Settings: Performance Mode");
  session.drives.SetUp(test::WindowActions()[click].setup);
  ASSERT_TRUE(Perform(session, click).starts_with("done"));
  ExpectLog(session.drives.devices.Log(), test::WindowActions()[click].expected, session.wordSize,
            "the first action on the drive that came back");
  Quit(session);
}

// "Safely Remove" of the drive the window has open: the system names the
// window's own handle, which the driver finds in the system's handle table
// as Windows' own tools do. The window lets go of the drive (the device sees
// its connection close and no handle of the program is left on it); a
// removal that is then refused gives it back, and the next action reaches
// the drive through the handle opened anew; a removal that completes takes
// the drive off the list.
TEST(WindowKernelPath, SafelyRemoveLetsGoOfTheDrive) {
  ASSERT_NO_FATAL_FAILURE(ExpectReady());
  Session session;
  ASSERT_NO_FATAL_FAILURE(Start(session));
  const std::vector<std::string> handles = ProgramHandlesTo(session, "sr0");
  ASSERT_EQ(handles.size(), 1u) << "the program's handles to the drive: " << testing::PrintToString(handles);
  const std::string handle = handles.front();

  // Another device's removal leaves the drive open.
  EXPECT_EQ(Notify(session, "query-remove handle 0x7ffc"), "answer 1");
  EXPECT_EQ(ProgramHandlesTo(session, "sr0"), handles) << "the window let go of its drive for another device";

  session.drives.devices.ClearLog();
  EXPECT_EQ(Notify(session, "query-remove handle " + handle), "answer 1") << "the window refused the removal";
  std::vector<NodeEvent> events = AwaitEvent(session, NodeEvent::Kind::Closed, "sr0");
  ShowEvents("query-remove", events);
  EXPECT_EQ(EventsOf(events, NodeEvent::Kind::Closed, "sr0").size(), 1u) << Described(events);
  EXPECT_TRUE(EventsOf(events, NodeEvent::Kind::Command, "sr0").empty()) << Described(events);
  EXPECT_TRUE(ProgramHandlesTo(session, "sr0").empty()) << "the program still holds the drive";

  session.drives.devices.ClearLog();
  EXPECT_EQ(Notify(session, "query-remove-failed handle " + handle), "answer 1");
  events = AwaitEvent(session, NodeEvent::Kind::Opened, "sr0");
  ShowEvents("query-remove-failed", events);
  const std::vector<NodeEvent> reopened = EventsOf(events, NodeEvent::Kind::Opened, "sr0");
  ASSERT_EQ(reopened.size(), 1u) << Described(events);
  const std::vector<std::string> handlesAgain = ProgramHandlesTo(session, "sr0");
  ASSERT_EQ(handlesAgain.size(), 1u) << testing::PrintToString(handlesAgain);
  // The click alone: selecting the drive again would open it anew.
  const std::size_t click = IndexOf("Settings: Performance Mode");
  session.drives.SetUp(test::WindowActions()[click].setup);
  ASSERT_TRUE(session.driver.Tell("run " + std::to_string(click)).starts_with("done"));
  events = session.drives.devices.Events();
  ShowEvents("the next action", events);
  ExpectLog(session.drives.devices.Log(), test::WindowActions()[click].expected, session.wordSize,
            "the first action after a refused removal");
  for (const NodeEvent& command : EventsOf(events, NodeEvent::Kind::Command, "sr0")) {
    EXPECT_EQ(command.connection, reopened.front().connection) << Describe(command);
  }

  // This time the drive goes: the system asks, then tells the window it went.
  session.drives.devices.ClearLog();
  EXPECT_EQ(Notify(session, "query-remove handle " + handlesAgain.front()), "answer 1");
  events = AwaitEvent(session, NodeEvent::Kind::Closed, "sr0");
  session.drives.devices.Unplug("sr0");
  EXPECT_EQ(Notify(session, "remove-complete handle " + handlesAgain.front()), "answer 1");
  EXPECT_EQ(ListOnceItShows(session, "G"), "G");
  events = session.drives.devices.Events();
  ShowEvents("query-remove and remove-complete", events);
  EXPECT_EQ(EventsOf(events, NodeEvent::Kind::Closed, "sr0").size(), 1u) << Described(events);
  EXPECT_TRUE(EventsOf(events, NodeEvent::Kind::Command, "sr0").empty()) << Described(events);
  Quit(session);
}

// The window and norvane-drive.exe, two processes on one Wine server, try
// to change the quiet drive at once. The window's bus power check holds the
// drive from its start to its verdict: meanwhile the tool finds it in use
// and sends nothing of its change; after the verdict its change goes
// through. The other way round, an EJECT while the tool's change waits for
// the drive's answer is refused with the window's own words, and nothing of
// it reaches the drive.
TEST(WindowKernelPath, TheWindowAndTheToolNeverChangeOneDriveAtOnce) {
  ASSERT_NO_FATAL_FAILURE(ExpectReady());
  ASSERT_FALSE(Required("NORVANE_TOOL_PROGRAM").empty()) << "run from the Windows builds' CTest";
  const auto tool = [](const Session& session) {
    return RunToEnd(
        {session.wine.Loader(), Required("NORVANE_TOOL_PROGRAM"), "--device", "E", "set", "--quiet", "performance"},
        session.wine.Environment());
  };
  const auto toolAction = [](const std::string& name) {
    const std::vector<test::ToolAction>& actions = test::ToolActions();
    return *std::find_if(actions.begin(), actions.end(), [&](const test::ToolAction& a) { return a.name == name; });
  };
  const test::ToolAction change = toolAction("set --quiet performance");
  // What the tool sends before it takes the drive: the selection, which an
  // eject is followed by its one command.
  test::Sequence selection = toolAction("eject").expected;
  selection.pop_back();

  Session session;
  ASSERT_NO_FATAL_FAILURE(Start(session));
  const std::size_t check = IndexOf("Utility: bus power check");
  session.drives.SetUp(test::WindowActions()[check].setup);
  ASSERT_EQ(session.driver.Tell("prepare " + std::to_string(check)), "ready");
  // The check runs up to its countdown, which goes on on the window's timer.
  ASSERT_TRUE(session.driver.Tell("begin " + std::to_string(check)).starts_with("done"));
  session.drives.devices.ClearLog();
  const ToolRun busy = tool(session);
  EXPECT_EQ(busy.exitCode, 9) << busy.output;
  EXPECT_NE(busy.output.find("in use by another program"), std::string::npos) << busy.output;
  Show("the tool during the window's check", session.drives.devices.Log());
  ExpectLog(session.drives.devices.Log(), selection, session.wordSize, "the tool during the window's check");

  ASSERT_TRUE(session.driver.Tell("finish " + std::to_string(check)).starts_with("done"));
  session.drives.SetUp(change.setup);
  const ToolRun free = tool(session);
  EXPECT_EQ(free.exitCode, 0) << free.output;
  ExpectLog(session.drives.devices.Log(), change.expected, session.wordSize, "the tool after the window's check");

  // A refused EJECT: a refused Settings click reads the drive again, which
  // would wait for the tool's held command.
  const std::size_t click = IndexOf("Utility: EJECT");
  session.drives.SetUp(change.setup);
  ASSERT_EQ(session.driver.Tell("prepare " + std::to_string(click)), "ready");
  // The tool's first command after its selection is held: it has the drive.
  session.drives.devices.HoldAnswers("sr0", 30s, static_cast<int>(selection.size()));
  ChildProcess holder(
      {session.wine.Loader(), Required("NORVANE_TOOL_PROGRAM"), "--device", "E", "set", "--quiet", "performance"},
      session.wine.Environment(), session.wine.Log().string());
  holder.CloseInput();
  ASSERT_TRUE(session.drives.devices.WaitForHeldCommand(30s)) << "the tool's change never reached the drive";
  session.drives.devices.ClearLog();
  EXPECT_EQ(session.driver.Tell("run " + std::to_string(click)), "done 1");
  EXPECT_EQ(session.driver.Tell("last-box"), "box The drive is in use by another program.");
  ExpectLog(session.drives.devices.Log(), {}, session.wordSize, "the window while the tool has the drive");
  session.drives.devices.HoldAnswers("sr0", 0ms);
  holder.ReadAll(60s);
  EXPECT_EQ(holder.Wait(30s), 0) << "the tool's change did not go through";
  test::Sequence changed(change.expected.begin() + static_cast<std::ptrdiff_t>(selection.size()),
                         change.expected.end());
  ExpectLog(session.drives.devices.Log(), changed, session.wordSize, "the tool's change, let go");
  Quit(session);
}

}  // namespace
}  // namespace norvane::kernel
