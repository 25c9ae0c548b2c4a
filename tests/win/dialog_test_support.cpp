#include "dialog_test_support.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>

namespace norvane::test {

bool JapaneseRun() {
  const char* lang = std::getenv("LANG");
  return lang && std::strncmp(lang, "ja", 2) == 0;
}

std::wstring WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

std::vector<std::wstring> ComboTexts(HWND combo) {
  std::vector<std::wstring> texts;
  const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)), L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    texts.push_back(text);
  }
  return texts;
}

MessageBoxSeen InspectMessageBox(HWND box) {
  MessageBoxSeen seen;
  seen.caption = WindowText(box);
  seen.text = WindowText(GetDlgItem(box, 0xFFFF));
  seen.ok = GetDlgItem(box, IDOK) != nullptr;
  seen.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
  seen.owner = GetWindow(box, GW_OWNER);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      seen.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    }
  }
  return seen;
}

std::wstring ToolText(HWND tip, HWND control) {
  wchar_t text[512] = {};
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.hwnd = GetParent(control);
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&info));
  return text;
}

namespace {

struct ToolTipSearch {
  HWND page, found;
};

BOOL CALLBACK FindPageToolTip(HWND window, LPARAM arg) {
  auto* search = reinterpret_cast<ToolTipSearch*>(arg);
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  if (std::wstring(name) != TOOLTIPS_CLASSW) return TRUE;
  if (!SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)) || info.hwnd != search->page) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

std::vector<MSG>* relayed = nullptr;
WNDPROC tooltipProc = nullptr;

LRESULT CALLBACK RecordRelay(HWND window, UINT id, WPARAM wParam, LPARAM lParam) {
  if (id == TTM_RELAYEVENT) relayed->push_back(*reinterpret_cast<const MSG*>(lParam));
  return CallWindowProcW(tooltipProc, window, id, wParam, lParam);
}

}  // namespace

int GdiHeadroom() {
  std::vector<HBRUSH> brushes;
  constexpr std::size_t kCeiling = 200000;
  while (brushes.size() < kCeiling) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    if (!brush) break;
    brushes.push_back(brush);
  }
  for (HBRUSH brush : brushes) DeleteObject(brush);
  return static_cast<int>(brushes.size());
}

namespace {
BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// A top-level window and all its descendants.
BOOL CALLBACK CountWindowTree(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, CountWindow, count);
  return TRUE;
}
}  // namespace

int ThreadWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindowTree, reinterpret_cast<LPARAM>(&count));
  return count;
}

HWND PageToolTip(HWND page) {
  ToolTipSearch search{page, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindPageToolTip, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void ExpectPageTools(HWND page, int maxWidth, const std::vector<ExpectedTool>& tools) {
  HWND tip = PageToolTip(page);
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), static_cast<LRESULT>(tools.size()));
  EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), maxWidth);
  for (const ExpectedTool& tool : tools) {
    EXPECT_EQ(ToolText(tip, GetDlgItem(page, tool.control)), ForRun(tool.english, tool.japanese))
        << "tool of control " << tool.control;
  }
}

std::vector<MSG> RelayedTo(HWND tip, const std::function<void()>& run) {
  std::vector<MSG> messages;
  relayed = &messages;
  tooltipProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(tip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordRelay)));
  run();
  SetWindowLongPtrW(tip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(tooltipProc));
  relayed = nullptr;
  return messages;
}

namespace {

struct Answering {
  HWND except;
  const std::function<void(HWND)>* answer;
  bool onlyFirst;
  int answered;
  HWND last;  // skipped while it is still closing
};
Answering* answering = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t windowClass[16] = {};
  GetClassNameW(window, windowClass, static_cast<int>(std::size(windowClass)));
  if (window != answering->except && window != answering->last && IsWindowVisible(window) &&
      std::wcscmp(windowClass, L"#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// Runs inside whichever modal loop is current: the thread timer's message
// is dispatched by every loop.
void CALLBACK LookForDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  if (!answering || (answering->onlyFirst && answering->answered > 0)) return;
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  ++answering->answered;
  answering->last = dialog;
  if (answering->onlyFirst) KillTimer(nullptr, timer);
  (*answering->answer)(dialog);
}

// Answers how many dialogs showed up and were answered.
int Answer(HWND except, const std::function<void(HWND)>& answer, const std::function<void()>& run, bool onlyFirst) {
  Answering state{except, &answer, onlyFirst, 0, nullptr};
  answering = &state;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, LookForDialog);
  run();
  KillTimer(nullptr, timer);
  answering = nullptr;
  return state.answered;
}

}  // namespace

void WhileAnswering(HWND except, const std::function<void(HWND)>& answer, const std::function<void()>& run) {
  EXPECT_GT(Answer(except, answer, run, true), 0) << "no dialog showed up";
}

void WhileAnsweringEach(HWND except, const std::function<void(HWND)>& answer, const std::function<void()>& run) {
  Answer(except, answer, run, false);
}

bool ShowsADialog(HWND except, const std::function<void()>& run) {
  return Answer(
             except, [](HWND dialog) { EndDialog(dialog, IDCANCEL); }, run, true) > 0;
}

MessageBoxSeen ClickAndAnswer(HWND button, int answer) {
  MessageBoxSeen seen;
  WhileAnswering(
      GetAncestor(button, GA_ROOT),
      [&](HWND box) {
        seen = InspectMessageBox(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
      },
      [&] { SendMessageW(button, BM_CLICK, 0, 0); });
  return seen;
}

std::vector<std::wstring> ClickAnsweringEach(HWND button, int answer) {
  std::vector<std::wstring> texts;
  WhileAnsweringEach(
      GetAncestor(button, GA_ROOT),
      [&](HWND box) {
        texts.push_back(InspectMessageBox(box).text);
        EndDialog(box, answer);
      },
      [&] { SendMessageW(button, BM_CLICK, 0, 0); });
  return texts;
}

void ExpectConfirmation(const MessageBoxSeen& seen, HWND owner, const std::wstring& text) {
  EXPECT_EQ(seen.text, text);
  EXPECT_EQ(seen.caption, L"ui_tests");
  EXPECT_TRUE(seen.ok && seen.cancel);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_EQ(seen.owner, owner);
}

namespace {

std::map<UINT_PTR, std::function<void()>>* timedSteps = nullptr;

void CALLBACK RunTimedStep(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  const auto step = timedSteps->find(timer);
  if (step != timedSteps->end()) step->second();
}

}  // namespace

std::vector<std::uint32_t> ClientPixels(HWND control, PixelSource source) {
  RECT client;
  GetClientRect(control, &client);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  if (source == PixelSource::Screen) {
    POINT origin{0, 0};
    ClientToScreen(control, &origin);
    HDC screen = GetDC(nullptr);
    BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
  } else {
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  }
  GdiFlush();
  // The colour only: what the gradients leave in the fourth byte never shows.
  const auto* first = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> pixels;
  std::transform(first, first + client.right * client.bottom, std::back_inserter(pixels),
                 [](std::uint32_t pixel) { return pixel & 0xFFFFFFu; });
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return pixels;
}

INT_PTR RunModal(ui::CDialog& window, std::vector<TimedStep> steps, UINT watchdogMs) {
  std::map<UINT_PTR, std::function<void()>> running;
  timedSteps = &running;
  bool timedOut = false;
  steps.push_back({watchdogMs, [&] {
                     timedOut = true;
                     window.EndDialog(IDABORT);
                   }});
  for (TimedStep& step : steps) running[SetTimer(nullptr, 0, step.afterMs, RunTimedStep)] = std::move(step.run);
  const INT_PTR result = window.DoModal();
  for (const auto& step : running) KillTimer(nullptr, step.first);
  timedSteps = nullptr;
  EXPECT_FALSE(timedOut) << "the run had to be ended";
  return result;
}

void AfterPostedMessages(std::function<void()> run) {
  (*timedSteps)[SetTimer(nullptr, 0, USER_TIMER_MINIMUM, RunTimedStep)] = std::move(run);
}

namespace {

// Reads a template: words, double words and texts, each where the layout
// puts them.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* bytes) : m_bytes(bytes) {}

  WORD Word() { return Read<WORD>(); }
  DWORD DoubleWord() { return Read<DWORD>(); }
  short Short() { return Read<short>(); }
  BYTE Byte() { return Read<BYTE>(); }
  std::wstring Text() {
    std::wstring text;
    for (WORD c = Word(); c != 0; c = Word()) text += static_cast<wchar_t>(c);
    return text;
  }
  // A name, or 0xFFFF and a number: "#number".
  std::wstring NameOrOrdinal() {
    WORD first;
    std::memcpy(&first, m_bytes + m_offset, sizeof first);
    if (first != 0xFFFF) return Text();
    Word();
    return L"#" + std::to_wstring(Word());
  }
  // A control's class: the predefined ones by their names.
  std::wstring ControlClass() {
    static const wchar_t* const kClasses[] = {L"Button", L"Edit", L"Static", L"ListBox", L"ScrollBar", L"ComboBox"};
    std::wstring name = NameOrOrdinal();
    for (int ordinal = 0x80; ordinal <= 0x85; ++ordinal) {
      if (name == L"#" + std::to_wstring(ordinal)) return kClasses[ordinal - 0x80];
    }
    return name;
  }
  void AlignToDoubleWord() { m_offset = (m_offset + 3) & ~std::size_t{3}; }
  void Skip(std::size_t count) { m_offset += count; }

 private:
  template <class T>
  T Read() {
    T value;
    std::memcpy(&value, m_bytes + m_offset, sizeof value);
    m_offset += sizeof value;
    return value;
  }

  const BYTE* m_bytes;
  std::size_t m_offset = 0;
};

const BYTE* FindResourceBytes(LPCWSTR type, LPCWSTR name, LANGID language) {
  HRSRC resource = FindResourceExW(nullptr, type, name, language);
  if (!resource) return nullptr;
  return static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
}

}  // namespace

DialogTemplate LoadDialogTemplate(UINT id, LANGID language) {
  DialogTemplate result;
  const BYTE* bytes = FindResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(id), language);
  EXPECT_NE(bytes, nullptr) << "dialog " << id << " in language " << language;
  if (!bytes) return result;
  TemplateReader reader(bytes);
  EXPECT_EQ(reader.Word(), 1);       // DIALOGEX version
  EXPECT_EQ(reader.Word(), 0xFFFF);  // signature
  reader.DoubleWord();               // help id
  result.exStyle = reader.DoubleWord();
  result.style = reader.DoubleWord();
  const WORD count = reader.Word();
  result.x = reader.Short();
  result.y = reader.Short();
  result.cx = reader.Short();
  result.cy = reader.Short();
  reader.NameOrOrdinal();  // menu
  reader.NameOrOrdinal();  // class
  result.caption = reader.Text();
  if (result.style & DS_SETFONT) {
    result.pointSize = reader.Word();
    reader.Word();  // weight
    reader.Byte();  // italic
    reader.Byte();  // character set
    result.font = reader.Text();
  }
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDoubleWord();
    DialogItem item{};
    reader.DoubleWord();  // help id
    item.exStyle = reader.DoubleWord();
    item.style = reader.DoubleWord();
    item.x = reader.Short();
    item.y = reader.Short();
    item.cx = reader.Short();
    item.cy = reader.Short();
    item.id = static_cast<int>(reader.DoubleWord());
    item.windowClass = reader.ControlClass();
    item.text = reader.NameOrOrdinal();
    reader.Skip(reader.Word());  // creation data
    result.items.push_back(item);
  }
  return result;
}

std::wstring LoadStringIn(UINT id, LANGID language) {
  // Strings come in blocks of sixteen, each a length and that many characters.
  const BYTE* block = FindResourceBytes(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!block) return {};
  TemplateReader reader(block);
  for (UINT i = 0; i < id % 16; ++i) reader.Skip(reader.Word() * sizeof(WCHAR));
  std::wstring text(reader.Word(), L'\0');
  for (wchar_t& c : text) c = static_cast<wchar_t>(reader.Word());
  return text;
}

namespace {

// The windows of a test serve accessibility clients as the program's do,
// and the test is their client: both need COM on the thread, as the
// program has it.
class ComOnTheTestThread : public testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kComEnvironment = testing::AddGlobalTestEnvironment(new ComOnTheTestThread);

}  // namespace

AccessibleReading ReadAccessible(HWND window) {
  AccessibleReading reading;
  IAccessible* object = nullptr;
  reading.found = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object));
  if (FAILED(reading.found) || !object) return reading;
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  if (object->get_accName(self, &text) == S_OK && text) reading.name = text;
  SysFreeString(text);
  text = nullptr;
  if (object->get_accValue(self, &text) == S_OK && text) reading.value = std::wstring(text);
  SysFreeString(text);
  VARIANT role{};
  if (object->get_accRole(self, &role) == S_OK && role.vt == VT_I4) reading.role = role.lVal;
  object->Release();
  return reading;
}

}  // namespace norvane::test
