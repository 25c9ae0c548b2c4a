// Drives the shipped program from outside, as a person does: starts it,
// selects tabs and drives, clicks buttons and answers message boxes by
// control id. It does the window actions of the shared table on the
// runner's word, one line at a time on standard input:
//
//   start            starts the program given on the command line
//   prepare N        the preparation of action N
//   run N            action N, every message box answered with its answer
//   hold N MS        starts action N, whose command the drive holds; asks
//                    the window every 50 ms for MS, closes it and waits for
//                    the program to end
//   begin N          action N up to its countdown, which the window then runs
//                    on its own timer
//   finish N         the countdown of action N, to its end
//   last-box         the text of the last message box answered
//   drives           reads the drive list
//   handles INODE    finds the program's handles to the device whose inode
//                    is INODE, as the system's handle table lists them
//   notify EVENT ABOUT
//                    sends the window WM_DEVICECHANGE as the system does:
//                    EVENT arrival, query-remove, query-remove-failed or
//                    remove-complete, ABOUT "volume E", "interface" (the
//                    CD/DVD drive class) or "handle 0xVALUE"
//   quit             closes the program
//
// and answers on standard output: "ready", "done BOXES", "exit CODE",
// "held ANSWERED LATE exit CODE after MS", "box TEXT", "drives LETTERS", "handles
// 0xVALUE...", "answer RESULT", or asks the runner "advance MS"
// (drive time for a countdown tick), "await-tick" (the Status page's own
// timer has updated once) and "await-hold" (the drive holds a command),
// each answered with "ok".
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "action_sequences.h"
#include "emulator/device_broadcasts.h"
#include "resource.h"

namespace {

using norvane::emu::DeviceBroadcast;
using norvane::test::Page;
using norvane::test::UiStep;
using norvane::test::WindowAction;

PROCESS_INFORMATION program{};
HWND mainWindow = nullptr;
std::string lastBoxText;  // of the last message box answered, in UTF-8

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

std::string Hear() {
  char line[256] = {};
  if (!std::fgets(line, sizeof line, stdin)) return "quit";
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

void Ask(const char* question) {
  Say(question);
  if (Hear() != "ok") std::exit(3);
}

bool IsDialog(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  return std::wcscmp(name, L"#32770") == 0;
}

struct Search {
  HWND found = nullptr;
};

BOOL CALLBACK FindMain(HWND window, LPARAM arg) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != program.dwProcessId || !IsDialog(window) || !IsWindowVisible(window) ||
      !GetDlgItem(window, IDC_PAGE_TABS)) {
    return TRUE;
  }
  reinterpret_cast<Search*>(arg)->found = window;
  return FALSE;
}

// A message box or any other dialog of the program on top of the main window.
BOOL CALLBACK FindBox(HWND window, LPARAM arg) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != program.dwProcessId || window == mainWindow || !IsDialog(window) || !IsWindowVisible(window)) {
    return TRUE;
  }
  reinterpret_cast<Search*>(arg)->found = window;
  return FALSE;
}

HWND OpenBox() {
  Search search;
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Whether the program has handled everything sent to it so far and is not
// waiting for the drive (it answers then too, with its window disabled).
bool Answers() {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result) != 0 && IsWindowEnabled(mainWindow);
}

// A message box's text is the static control 0xFFFF.
std::string BoxText(HWND box) {
  wchar_t text[512] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 512);
  char utf8[1536] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// Whether the program's window thread is back in its message loop. Inside a
// call for the drive, and between the calls of one action, it answers only
// what is sent to it, with its window enabled for the first quarter of a
// second: a change of the drive list's extended interface, posted, shows to
// a sent question only once the thread takes posted messages again. The
// list's own setting is put back.
bool TakesPostedMessages() {
  HWND list = GetDlgItem(mainWindow, IDC_DRIVE_LIST);
  const WPARAM extended = SendMessageW(list, CB_GETEXTENDEDUI, 0, 0) != 0;
  PostMessageW(list, CB_SETEXTENDEDUI, !extended, 0);
  for (int waited = 0; waited < 200; waited += 10) {
    DWORD_PTR now = 0;
    if (SendMessageTimeoutW(list, CB_GETEXTENDEDUI, 0, 0, SMTO_NORMAL, 200, &now) && (now != 0) != (extended != 0)) {
      SendMessageW(list, CB_SETEXTENDEDUI, extended, 0);
      return true;
    }
    Sleep(10);
  }
  return false;
}

// Waits until the program is idle, answering every box that comes up with
// `answer` (a notice, which has only OK, with OK). Answers how many.
int SettleAnswering(int answer) {
  int boxes = 0;
  HWND last = nullptr;
  for (int calm = 0; calm < 3;) {
    if (HWND box = OpenBox(); box && box != last) {
      lastBoxText = BoxText(box);
      const int button = GetDlgItem(box, answer) ? answer : IDOK;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
      last = box;
      ++boxes;
      calm = 0;
      continue;
    }
    calm = Answers() && !OpenBox() && TakesPostedMessages() ? calm + 1 : 0;
    Sleep(20);
  }
  return boxes;
}

HWND PageWindow(Page page) {
  const int marker = page == Page::Settings ? IDC_QUIET_ON : page == Page::Status ? IDC_SECTOR_COUNT : IDC_RUN_CHECK;
  for (HWND child = GetWindow(mainWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgItem(child, marker)) return child;
  }
  return nullptr;
}

HWND Control(Page page, int id) { return GetDlgItem(page == Page::Main ? mainWindow : PageWindow(page), id); }

// The countdown runs on the page's own one-second timer; each tick given
// here comes after a second of drive time, so the countdown ends at once.
void CountDown() {
  HWND page = PageWindow(Page::Utility);
  for (int tick = 0; tick < 40 && !IsWindowEnabled(Control(Page::Utility, IDC_RUN_CHECK)); ++tick) {
    Ask("advance 1000");
    DWORD_PTR result = 0;
    SendMessageTimeoutW(page, WM_TIMER, 0, 0, SMTO_NORMAL, 10000, &result);
  }
}

void Do(const UiStep& step) {
  switch (step.kind) {
    case UiStep::Kind::SelectTab:
      // As the keyboard moves it: the tab control asks the window and tells it.
      SendNotifyMessageW(Control(Page::Main, IDC_PAGE_TABS), TCM_SETCURFOCUS, step.value, 0);
      break;
    case UiStep::Kind::SelectDrive: {
      HWND list = Control(Page::Main, IDC_DRIVE_LIST);
      SendMessageW(list, CB_SETCURSEL, step.value, 0);
      SendNotifyMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
      break;
    }
    case UiStep::Kind::Click: PostMessageW(Control(step.page, step.value), BM_CLICK, 0, 0); break;
    case UiStep::Kind::StatusTick: Ask("await-tick"); break;
    case UiStep::Kind::Countdown: CountDown(); break;
  }
}

enum class Steps { All, BeforeCountdown, Countdown };

bool Included(const UiStep& step, Steps which) {
  if (which == Steps::All) return true;
  return (step.kind == UiStep::Kind::Countdown) == (which == Steps::Countdown);
}

int DoAll(const std::vector<UiStep>& steps, int answer, Steps which = Steps::All) {
  int boxes = 0;
  for (const UiStep& step : steps) {
    if (!Included(step, which)) continue;
    Do(step);
    boxes += SettleAnswering(answer);
  }
  return boxes;
}

// The letters of the drive list, in its order ("E : NORVANE ...").
std::string ListedLetters() {
  HWND list = Control(Page::Main, IDC_DRIVE_LIST);
  std::string letters;
  const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring label(static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(label.data()));
    letters += static_cast<char>(label[0]);
  }
  return letters;
}

// --- the program's handles, as the system's handle table lists them ---

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kFileInternalInformation = 6;

struct HandleEntry {
  PVOID object;
  ULONG_PTR process;
  ULONG_PTR value;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG attributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry handles[1];
};

// The handle values of every handle the program has open.
std::vector<ULONG_PTR> ProgramHandles() {
  std::vector<unsigned char> table(1 << 16);
  ULONG needed = 0;
  NTSTATUS status;
  while ((status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kSystemExtendedHandleInformation),
                                            table.data(), static_cast<ULONG>(table.size()), &needed)) ==
         static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
    table.resize(std::max<std::size_t>(table.size() * 2, needed));
  }
  std::vector<ULONG_PTR> values;
  if (status < 0) return values;
  const auto* handles = reinterpret_cast<const HandleTable*>(table.data());
  for (ULONG_PTR i = 0; i < handles->count; ++i) {
    if (handles->handles[i].process == program.dwProcessId) values.push_back(handles->handles[i].value);
  }
  return values;
}

// The inode of the file a handle of the program stands for (a device node's
// own, for a drive), or 0 when it is no file.
ULONGLONG InodeOf(ULONG_PTR value) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(program.hProcess, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return 0;
  }
  IO_STATUS_BLOCK io{};
  LARGE_INTEGER index{};
  const NTSTATUS status = NtQueryInformationFile(copy, &io, &index, sizeof index,
                                                 static_cast<FILE_INFORMATION_CLASS>(kFileInternalInformation));
  CloseHandle(copy);
  return status >= 0 ? static_cast<ULONGLONG>(index.QuadPart) : 0;
}

std::string HandlesTo(ULONGLONG inode) {
  std::string reply = "handles";
  for (const ULONG_PTR value : ProgramHandles()) {
    if (InodeOf(value) != inode) continue;
    char text[32];
    std::snprintf(text, sizeof text, " 0x%llx", static_cast<unsigned long long>(value));
    reply += text;
  }
  return reply;
}

// --- device notifications, built as the system builds them ---

// A drive on the SCSI bus, as its interface is named.
constexpr wchar_t kScsiDriveInterfaceName[] =
    L"\\\\?\\SCSI#CdRom&Ven_NORVANE&Prod_BD-RE#1&2afd7d61&0&000000#"
    L"{53f56308-b6bf-11d0-94f2-00a0c91efb8b}";

// "arrival volume E", "query-remove handle 0x1c", ...: sent, as the system
// sends it, and the window's answer once it has done what it put off.
std::string Notify(const std::string& what) {
  char event[32] = {}, about[16] = {}, argument[32] = {};
  std::sscanf(what.c_str(), "%31s %15s %31s", event, about, argument);
  const std::string name = event;
  const WPARAM code = name == "arrival"               ? DBT_DEVICEARRIVAL
                      : name == "query-remove"        ? DBT_DEVICEQUERYREMOVE
                      : name == "query-remove-failed" ? DBT_DEVICEQUERYREMOVEFAILED
                                                      : DBT_DEVICEREMOVECOMPLETE;
  const std::string kind = about;
  const DeviceBroadcast broadcast =
      kind == "volume" ? DeviceBroadcast::Volume(argument[0])
      : kind == "interface"
          ? DeviceBroadcast::Interface(norvane::kOpticalDriveInterface, kScsiDriveInterfaceName)
          : DeviceBroadcast::Handle(static_cast<norvane::DeviceHandle>(std::strtoull(argument, nullptr, 16)));
  // Another process's window gets the structure only from SendMessage: the
  // system copies DEV_BROADCAST_HDR's dbch_size bytes across.
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(mainWindow, WM_DEVICECHANGE, code, broadcast.Address(), SMTO_NORMAL, 30000, &result)) {
    return "answer none";
  }
  SettleAnswering(IDOK);
  return "answer " + std::to_string(static_cast<long long>(result));
}

// Starts action `action` without waiting for it, and once the drive holds
// its command, asks the window to answer for `probeMs`, as the system does
// to find windows that stopped responding; then closes the window as a
// person does from the taskbar and waits for the program to end.
void Hold(const WindowAction& action, int probeMs) {
  for (const UiStep& step : action.run) Do(step);
  Ask("await-hold");
  int answered = 0, late = 0;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(probeMs); Sleep(50)) {
    DWORD_PTR result = 0;
    (SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) ? answered : late)++;
  }
  PostMessageW(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  const DWORD closed = GetTickCount();
  DWORD code = 259;
  if (WaitForSingleObject(program.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(program.hProcess, &code);
  char reply[96];
  std::snprintf(reply, sizeof reply, "held %d %d exit %lu after %lu", answered, late, static_cast<unsigned long>(code),
                static_cast<unsigned long>(GetTickCount() - closed));
  Say(reply);
}

bool Start(const wchar_t* commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program)) {
    return false;
  }
  WaitForInputIdle(program.hProcess, 60000);
  for (int i = 0; i < 600 && !mainWindow; ++i) {
    Search search;
    EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
    mainWindow = search.found;
    if (!mainWindow) Sleep(50);
  }
  return mainWindow != nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kernel_path_driver PROGRAM\n");
    return 2;
  }
  const std::vector<WindowAction>& actions = norvane::test::WindowActions();
  char reply[32];
  for (;;) {
    const std::string command = Hear();
    const std::size_t index =
        command.find(' ') == std::string::npos ? 0 : std::atoi(command.c_str() + command.find(' '));
    if (command == "start") {
      if (!Start(argv[1])) return 4;
      std::snprintf(reply, sizeof reply, "done %d", SettleAnswering(IDOK));
      Say(reply);
    } else if (command.starts_with("prepare ") && index < actions.size()) {
      DoAll(actions[index].prepare, IDOK);
      Say("ready");
    } else if (command.starts_with("run ") && index < actions.size()) {
      std::snprintf(reply, sizeof reply, "done %d", DoAll(actions[index].run, actions[index].answer));
      Say(reply);
    } else if (command.starts_with("begin ") && index < actions.size()) {
      std::snprintf(reply, sizeof reply, "done %d",
                    DoAll(actions[index].run, actions[index].answer, Steps::BeforeCountdown));
      Say(reply);
    } else if (command.starts_with("finish ") && index < actions.size()) {
      std::snprintf(reply, sizeof reply, "done %d", DoAll(actions[index].run, actions[index].answer, Steps::Countdown));
      Say(reply);
    } else if (command == "last-box") {
      Say(("box " + lastBoxText).c_str());
    } else if (command == "drives") {
      Say(("drives " + ListedLetters()).c_str());
    } else if (command.starts_with("handles ")) {
      Say(HandlesTo(std::strtoull(command.c_str() + 8, nullptr, 10)).c_str());
    } else if (command.starts_with("notify ")) {
      Say(Notify(command.substr(7)).c_str());
    } else if (command.starts_with("hold ") && index < actions.size()) {
      Hold(actions[index], std::atoi(command.c_str() + command.rfind(' ')));
      return 0;
    } else if (command == "quit") {
      PostMessageW(mainWindow, WM_CLOSE, 0, 0);
      DWORD code = 259;
      if (WaitForSingleObject(program.hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(program.hProcess, &code);
      std::snprintf(reply, sizeof reply, "exit %lu", static_cast<unsigned long>(code));
      Say(reply);
      return 0;
    } else {
      std::fprintf(stderr, "kernel_path_driver: unknown command \"%s\"\n", command.c_str());
      return 2;
    }
  }
}
