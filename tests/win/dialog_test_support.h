// Shared pieces of the tests of windows, with or without the main window:
// the language the run is in, answering modal windows, tooltips, reading
// templates and strings by explicit language.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/dialog.h"

namespace norvane::test {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
constexpr LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);   // 1041

// Whether this run is the Japanese one (LANG=ja_JP.UTF-8 under Wine).
bool JapaneseRun();

// Picks the text of this run's language.
inline std::wstring ForRun(const wchar_t* english, const wchar_t* japanese) {
  return JapaneseRun() ? japanese : english;
}

std::wstring WindowText(HWND window);
std::vector<std::wstring> ComboTexts(HWND combo);

// Calls `answer` with the first dialog window of this thread other than
// `except` that shows up while a modal loop runs (message boxes included);
// the answer must close it. Returns once `run` has returned.
void WhileAnswering(HWND except, const std::function<void(HWND dialog)>& answer, const std::function<void()>& run);
// The same for every such dialog, one after the other.
void WhileAnsweringEach(HWND except, const std::function<void(HWND dialog)>& answer, const std::function<void()>& run);
// Whether a dialog other than `except` showed up while `run` ran; one that
// did is cancelled at once.
bool ShowsADialog(HWND except, const std::function<void()>& run);

// What a message box showed: caption, text, buttons and icon.
struct MessageBoxSeen {
  std::wstring caption, text;
  bool ok = false, cancel = false;
  HICON icon = nullptr;
  HWND owner = nullptr;
};
MessageBoxSeen InspectMessageBox(HWND box);
// Clicks `button` and presses `answer` in the message box that must come up;
// answers what the box showed.
MessageBoxSeen ClickAndAnswer(HWND button, int answer);
// Clicks `button` and closes every box that comes up with `answer`; answers
// the boxes' texts, in order.
std::vector<std::wstring> ClickAnsweringEach(HWND button, int answer = IDOK);
// Expects the question every drive action with consequences asks first:
// `text`, the executable's name as caption, OK and Cancel, a warning icon.
void ExpectConfirmation(const MessageBoxSeen& seen, HWND owner, const std::wstring& text);

// What assistive technology reads of a window's client object, asked as a
// client asks: AccessibleObjectFromWindow, then the object's properties.
struct AccessibleReading {
  HRESULT found = E_FAIL;  // of AccessibleObjectFromWindow
  std::wstring name;
  std::optional<std::wstring> value;  // none when the object has none
  long role = 0;
};
AccessibleReading ReadAccessible(HWND window);

// The text of the tool that covers `control` in the tooltip `tip`.
std::wstring ToolText(HWND tip, HWND control);
// The tooltip whose tools belong to `page`, or null.
HWND PageToolTip(HWND page);
// One tool of a page's tooltip: its control and its text in each language.
struct ExpectedTool {
  int control;
  const wchar_t* english;
  const wchar_t* japanese;
};
// Expects `page`'s tooltip to hold exactly `tools`, with their texts in this
// run's language, and to wrap tips at `maxWidth` pixels.
void ExpectPageTools(HWND page, int maxWidth, const std::vector<ExpectedTool>& tools);
// The messages relayed to the tooltip `tip` while `run` ran.
std::vector<MSG> RelayedTo(HWND tip, const std::function<void()>& run);

// A step of a modal run: `run` runs inside the run, `afterMs` after its start.
struct TimedStep {
  UINT afterMs;
  std::function<void()> run;
};
// Runs `window` modally with the steps. A run still going after `watchdogMs`
// is ended with IDABORT, so that a lost close cannot hang the tests. Answers
// the run's result.
INT_PTR RunModal(ui::CDialog& window, std::vector<TimedStep> steps, UINT watchdogMs = 5000);
// Inside a modal run: runs `run` once the run's own loop has handled the
// messages posted so far (a timer's turn comes only when none waits).
void AfterPostedMessages(std::function<void()> run);

// The colours (0xRRGGBB) of `control`'s client area, row by row: as the
// control paints itself into a bitmap (WM_PRINTCLIENT), or as the screen
// shows it.
enum class PixelSource { Painted, Screen };
std::vector<std::uint32_t> ClientPixels(HWND control, PixelSource source);

// How many more GDI objects (brushes) the process can make: a leak of one
// object per paint or tick shows as a smaller headroom afterwards.
int GdiHeadroom();
// How many windows this thread has, children included.
int ThreadWindowCount();

// A dialog template read from the resources in one language.
struct DialogItem {
  int id;
  std::wstring windowClass;  // "Button", "Static", ... for the predefined ordinals
  short x, y, cx, cy;
  DWORD style;
  DWORD exStyle;
  std::wstring text;
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption;
  WORD pointSize = 0;
  std::wstring font;
  std::vector<DialogItem> items;
};

// Reads a DIALOGEX template of the given language; fails the test when absent.
DialogTemplate LoadDialogTemplate(UINT id, LANGID language);
// Reads one string of the given language straight from its string-table block.
std::wstring LoadStringIn(UINT id, LANGID language);

}  // namespace norvane::test
