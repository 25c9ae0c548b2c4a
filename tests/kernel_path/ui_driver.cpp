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
//   quit             closes the program
//
// and answers on standard output: "ready", "done BOXES", "exit CODE",
// "held ANSWERED LATE exit CODE after MS", or asks the runner "advance MS"
// (drive time for a countdown tick), "await-tick" (the Status page's own
// timer has updated once) and "await-hold" (the drive holds a command),
// each answered with "ok".
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "action_sequences.h"
#include "resource.h"

namespace {

using norvane::test::Page;
using norvane::test::UiStep;
using norvane::test::WindowAction;

PROCESS_INFORMATION program{};
HWND mainWindow = nullptr;

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

// Waits until the program is idle, answering every box that comes up with
// `answer` (a notice, which has only OK, with OK). Answers how many.
int SettleAnswering(int answer) {
  int boxes = 0;
  HWND last = nullptr;
  for (int calm = 0; calm < 3;) {
    if (HWND box = OpenBox(); box && box != last) {
      const int button = GetDlgItem(box, answer) ? answer : IDOK;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
      last = box;
      ++boxes;
      calm = 0;
      continue;
    }
    calm = Answers() && !OpenBox() ? calm + 1 : 0;
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

int DoAll(const std::vector<UiStep>& steps, int answer) {
  int boxes = 0;
  for (const UiStep& step : steps) {
    Do(step);
    boxes += SettleAnswering(answer);
  }
  return boxes;
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
