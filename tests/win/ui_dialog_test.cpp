// The dialog framework: the modal loop's pre-translation, the message table,
// child pages, exceptions stopped at the dialog procedure, the message box
// helper and the tooltip helper.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"
#include "ui/dialog.h"
#include "ui/dpi.h"
#include "ui/message_box.h"
#include "ui/tooltip.h"
#include "ui/window.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

constexpr UINT kProbe = WM_APP + 1;     // passes every pre-translation
constexpr UINT kConsumed = WM_APP + 2;  // the page consumes it

std::vector<std::string> events;
HWND watchedOwner = nullptr;

class CPage : public ui::CDialogImpl<CPage> {
 public:
  CPage() : CDialogImpl(IDD_SETTING) {}

  bool PreTranslateMessage(MSG& msg) override {
    if (msg.message == kProbe || msg.message == kConsumed) events.push_back("page");
    return msg.message == kConsumed || CDialogImpl::PreTranslateMessage(msg);
  }

  static std::span<const ui::MessageEntry<CPage>> MessageTable() {
    static constexpr ui::MessageEntry<CPage> table[] = {
        ui::OnCommand(IDC_QUIET_ON, BN_CLICKED, &CPage::OnQuietClicked),
        ui::OnCommand(IDOK, BN_CLICKED, &CPage::OnQuietClicked),
        ui::OnCommand(IDCANCEL, BN_CLICKED, &CPage::OnQuietClicked),
        ui::OnMessage(kProbe, &CPage::OnProbe),
        ui::OnMessage(kConsumed, &CPage::OnProbe),
    };
    return table;
  }

 protected:
  bool PreviewCommand(const ui::Command&) override {
    events.push_back("preview");
    return !stopCommands;
  }

 public:
  bool stopCommands = false;

 private:
  LRESULT OnQuietClicked(const ui::Command&) {
    events.push_back("clicked");
    return 0;
  }
  LRESULT OnProbe() {
    events.push_back(watchedOwner && !IsWindowEnabled(watchedOwner) ? "dispatched, owner disabled" : "dispatched");
    return 0;
  }
};

// A top-level dialog holding one page; `onInit` runs once both exist.
class COuter : public ui::CDialogImpl<COuter> {
 public:
  COuter() : CDialogImpl(IDD_ABOUTBOX) {}

  bool PreTranslateMessage(MSG& msg) override {
    if (msg.message == kProbe || msg.message == kConsumed) events.push_back("outer");
    return false;
  }

  CPage page;
  std::function<void(COuter&)> onInit;

 protected:
  BOOL OnInitDialog() override {
    CDialogImpl::OnInitDialog();
    page.CreateChild(m_hwnd);
    if (onInit) onInit(*this);
    return TRUE;
  }
};

TEST(DialogFramework, ModalLoopPreTranslatesFromTheMessagesWindowUpBeforeDispatch) {
  events.clear();
  COuter owner;
  ASSERT_TRUE(owner.CreateModeless());
  watchedOwner = owner.Handle();
  COuter modal;
  modal.onInit = [](COuter& outer) {
    PostMessageW(GetDlgItem(outer.page.Handle(), IDC_QUIET_ON), kProbe, 0, 0);  // a control of the page
    PostMessageW(outer.page.Handle(), kProbe, 0, 0);
    PostMessageW(outer.page.Handle(), kConsumed, 0, 0);
    PostMessageW(outer.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  };
  EXPECT_EQ(modal.DoModal(owner.Handle()), IDCANCEL);
  watchedOwner = nullptr;

  const std::vector<std::string> expected = {
      "page", "outer",                                // the control's message: its page, then the page's parent
      "page", "outer", "dispatched, owner disabled",  // the page's own message reaches its table after both
      "page",                                         // consumed by the page: nobody else sees it
  };
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(IsWindowEnabled(owner.Handle())) << "the owner is enabled again";
  EXPECT_EQ(modal.Handle(), nullptr) << "the modal dialog is destroyed when it ends";
}

TEST(DialogFramework, ModalLoopEndsOnQuitAndLeavesTheQuitForTheOuterLoop) {
  COuter modal;
  modal.onInit = [](COuter&) { PostQuitMessage(7); };
  modal.DoModal();
  EXPECT_EQ(modal.Handle(), nullptr);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(DialogFramework, CommandsArePreviewedBeforeTheTableAndMatchedByIdAndCode) {
  COuter outer;
  ASSERT_TRUE(outer.CreateModeless());
  HWND page = outer.page.Handle();
  HWND quietOn = GetDlgItem(page, IDC_QUIET_ON);

  events.clear();
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_QUIET_ON, BN_CLICKED), reinterpret_cast<LPARAM>(quietOn));
  EXPECT_EQ(events, (std::vector<std::string>{"preview", "clicked"}));

  events.clear();
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_QUIET_ON, BN_SETFOCUS), reinterpret_cast<LPARAM>(quietOn));
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_READ_ON, BN_CLICKED), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"preview", "preview"})) << "other codes and ids reach no handler";

  events.clear();
  outer.page.stopCommands = true;
  SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_QUIET_ON, BN_CLICKED), reinterpret_cast<LPARAM>(quietOn));
  EXPECT_EQ(events, (std::vector<std::string>{"preview"})) << "a preview that answers false ends the command";
}

TEST(DialogFramework, EnterAndEscapeOnAPageControlAreThePagesOwnCommands) {
  COuter outer;
  ASSERT_TRUE(outer.CreateModeless());
  ShowWindow(outer.Handle(), SW_SHOW);
  ShowWindow(outer.page.Handle(), SW_SHOW);
  HWND quietOn = GetDlgItem(outer.page.Handle(), IDC_QUIET_ON);
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    SCOPED_TRACE(testing::Message() << "key " << key);
    events.clear();
    MSG msg{quietOn, WM_KEYDOWN, key, 0, 0, {}};
    outer.ProcessMessage(msg);
    EXPECT_EQ(events, (std::vector<std::string>{"preview", "clicked"}));
    EXPECT_NE(outer.Handle(), nullptr);
    EXPECT_TRUE(IsWindowVisible(outer.Handle())) << "the outer dialog does not end";
  }
}

// A page with push buttons and no handler for IDOK or IDCANCEL.
class CButtonPage : public ui::CDialogImpl<CButtonPage> {
 public:
  CButtonPage() : CDialogImpl(IDD_UTILITY) {}

  static std::span<const ui::MessageEntry<CButtonPage>> MessageTable() {
    static constexpr ui::MessageEntry<CButtonPage> table[] = {
        ui::OnCommand(IDC_EJECT, BN_CLICKED, &CButtonPage::OnEject),
    };
    return table;
  }

 private:
  LRESULT OnEject(const ui::Command&) {
    events.push_back("eject clicked");
    return 0;
  }
};

TEST(DialogFramework, EnterClicksAFocusedPushButtonAndNeverHidesAPage) {
  COuter outer;
  CButtonPage page;
  outer.onInit = [&](COuter& self) { page.CreateChild(self.Handle()); };
  ASSERT_TRUE(outer.CreateModeless());
  ShowWindow(outer.Handle(), SW_SHOW);
  ShowWindow(page.Handle(), SW_SHOW);
  HWND eject = GetDlgItem(page.Handle(), IDC_EJECT);
  SetFocus(eject);

  events.clear();
  MSG enter{eject, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  outer.ProcessMessage(enter);
  EXPECT_EQ(events, (std::vector<std::string>{"eject clicked"}));

  // Not on a button: the page's own IDOK and IDCANCEL, which a page without
  // handlers for them takes without ending.
  HWND group = GetDlgItem(page.Handle(), IDC_CHECK_GROUP);
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    MSG msg{group, WM_KEYDOWN, key, 0, 0, {}};
    outer.ProcessMessage(msg);
  }
  MSG escape{eject, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  outer.ProcessMessage(escape);
  EXPECT_EQ(events, (std::vector<std::string>{"eject clicked"})) << "Escape clicks nothing";
  EXPECT_TRUE(IsWindowVisible(page.Handle())) << "the page is still shown";
  EXPECT_TRUE(IsWindowVisible(outer.Handle()));
}

TEST(DialogFramework, PagesAreHiddenControlParentChildren) {
  COuter outer;
  ASSERT_TRUE(outer.CreateModeless());
  HWND page = outer.page.Handle();
  EXPECT_EQ(GetParent(page), outer.Handle());
  EXPECT_TRUE(GetWindowLongW(page, GWL_STYLE) & WS_CHILD);
  EXPECT_TRUE(GetWindowLongW(page, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) << "keyboard navigation descends into it";
  EXPECT_FALSE(IsWindowVisible(page));
  EXPECT_EQ(ui::CDialog::FromHandle(page), &outer.page);
}

// A dialog whose command handler throws whatever the test gives it.
class CThrowingDialog : public ui::CDialogImpl<CThrowingDialog> {
 public:
  CThrowingDialog() : CDialogImpl(IDD_ABOUTBOX) {}

  static std::span<const ui::MessageEntry<CThrowingDialog>> MessageTable() {
    static constexpr ui::MessageEntry<CThrowingDialog> kTable[] = {
        ui::OnCommand(IDC_QUIET_ON, BN_CLICKED, &CThrowingDialog::OnClicked),
        ui::OnMessage(kProbe, &CThrowingDialog::OnProbe),
    };
    return kTable;
  }

  std::function<void()> raise;

 private:
  LRESULT OnClicked(const ui::Command&) {
    raise();
    return 0;
  }
  LRESULT OnProbe() {
    events.push_back("dispatched");
    return 7;
  }
};

// Collects what the program writes to the debugger output while it lives:
// OutputDebugString raises DBG_PRINTEXCEPTION_C, which a vectored handler
// sees before the system's own handler takes it.
class DebugOutput {
 public:
  DebugOutput() : m_handler(AddVectoredExceptionHandler(1, Collect)) { collected = &m_text; }
  ~DebugOutput() {
    RemoveVectoredExceptionHandler(m_handler);
    collected = nullptr;
  }
  DebugOutput(const DebugOutput&) = delete;
  DebugOutput& operator=(const DebugOutput&) = delete;
  const std::string& Text() const { return m_text; }

 private:
  static LONG CALLBACK Collect(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2 && collected) {
      collected->append(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static inline std::string* collected = nullptr;

  PVOID m_handler;
  std::string m_text;
};

TEST(DialogFramework, AnExceptionStopsAtTheDialogProcedureAndTheNextMessageIsHandled) {
  const struct {
    const char* what;
    std::function<void()> raise;
    std::string reported;
  } cases[] = {
      {"out of memory", [] { throw std::bad_alloc(); }, "std::bad_alloc"},
      {"a runtime error", [] { throw std::runtime_error("the drive went away"); }, "the drive went away"},
      {"not a std::exception", [] { throw 42; }, "not derived from std::exception"},
  };
  // A failed assertion ends its case only.
  const auto check = [](const std::function<void()>& raise, const std::string& reported) {
    CThrowingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless());
    dialog.raise = raise;
    events.clear();
    DebugOutput output;

    // Sent, and posted through a turn of the modal loop.
    const WPARAM click = MAKEWPARAM(IDC_QUIET_ON, BN_CLICKED);
    EXPECT_EQ(SendMessageW(dialog.Handle(), WM_COMMAND, click, 0), 0)
        << "the answer of a procedure that does not handle the message";
    MSG posted{dialog.Handle(), WM_COMMAND, click, 0, 0, {}};
    dialog.ProcessMessage(posted);

    EXPECT_TRUE(IsWindow(dialog.Handle()));
    EXPECT_EQ(SendMessageW(dialog.Handle(), kProbe, 0, 0), 7) << "the next message is handled";
    EXPECT_EQ(events, (std::vector<std::string>{"dispatched"}));
    EXPECT_NE(output.Text().find(reported), std::string::npos) << output.Text();
    EXPECT_NE(output.Text().find("message 0x0111 in the dialog procedure"), std::string::npos) << output.Text();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    check(c.raise, c.reported);
  }
}

TEST(DialogFramework, MessageBoxIsCaptionedWithTheExecutablesBaseName) {
  MessageBoxSeen seen;
  int answer = 0;
  WhileAnswering(
      nullptr,
      [&](HWND box) {
        seen = InspectMessageBox(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      },
      [&] { answer = ui::ShowMessageBox(nullptr, L"Are you sure?", MB_OKCANCEL | MB_ICONWARNING); });
  EXPECT_EQ(seen.caption, L"ui_tests");
  EXPECT_EQ(ui::ApplicationName(), L"ui_tests");
  EXPECT_EQ(seen.text, L"Are you sure?");
  EXPECT_TRUE(seen.ok && seen.cancel);
  EXPECT_EQ(seen.icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_EQ(answer, IDCANCEL);
}

TEST(DialogFramework, ToolTipToolsAreWholeControlsWithTextsFromTheStringTable) {
  COuter outer;
  ASSERT_TRUE(outer.CreateModeless());
  HWND page = outer.page.Handle();
  ui::CToolTip tip;
  tip.Create(page);
  constexpr ui::ToolText kTipTools[] = {{IDC_QUIET_ON, IDS_TIP_QUIET_ON}, {IDC_READ_PERFECT, IDS_TIP_READ_PERFECT}};
  tip.AddTools(page, kTipTools);
  tip.SetMaxTipWidth(300);

  EXPECT_EQ(tip.Send(TTM_GETTOOLCOUNT), 2);
  EXPECT_EQ(tip.Send(TTM_GETMAXTIPWIDTH), 300);
  const struct {
    int control;
    const wchar_t* english;
    const wchar_t* japanese;
  } kTools[] = {
      {IDC_QUIET_ON, L"Switches the \"Advanced Quiet Drive Feature \" On/Off.",
       L"アドバンスド静音機能のOn/Offを切り替えます。"},
      {IDC_READ_PERFECT, L"At the read error after several retrys,  the error status is returned.",
       L"リードエラーが発生した場合、一定回数再読み取りを行います。それでも読み取り出来なかった場合はリードエラーで読み"
       L"取り動作を停止します。"},
  };
  for (const auto& tool : kTools) {
    EXPECT_EQ(ToolText(tip.Handle(), GetDlgItem(page, tool.control)), ForRun(tool.english, tool.japanese))
        << "tool of control " << tool.control;
  }
}

// A dialog template's bytes, field by field.
class TemplateBytes {
 public:
  TemplateBytes& Word(WORD value) { return Append(&value, sizeof value); }
  TemplateBytes& DoubleWord(DWORD value) { return Append(&value, sizeof value); }
  TemplateBytes& Text(const std::wstring& text) { return Append(text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }
  std::vector<BYTE> Cut(std::size_t size) const { return {m_bytes.begin(), m_bytes.begin() + size}; }
  const std::vector<BYTE>& Bytes() const { return m_bytes; }

 private:
  TemplateBytes& Append(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const BYTE*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + size);
    return *this;
  }
  std::vector<BYTE> m_bytes;
};

// DLGTEMPLATE: style, extended style, item count, rectangle; then menu,
// class, caption and, with DS_SETFONT, the point size and the face.
TemplateBytes Classic(DWORD style, WORD pointSize) {
  TemplateBytes bytes;
  bytes.DoubleWord(style).DoubleWord(0).Word(0).Word(0).Word(0).Word(100).Word(50);
  bytes.Word(0).Word(0).Text(L"Caption");
  if (style & DS_SETFONT) bytes.Word(pointSize).Text(L"Tahoma");
  return bytes;
}

// DLGTEMPLATEEX: version 1, 0xFFFF, help id, extended style, style, item
// count, rectangle; menu (here an ordinal), class (here a name), caption;
// with DS_SETFONT the point size, weight, italic, character set and face.
TemplateBytes Extended(DWORD style, WORD pointSize) {
  TemplateBytes bytes;
  bytes.Word(1).Word(0xFFFF).DoubleWord(0).DoubleWord(0).DoubleWord(style).Word(0);
  bytes.Word(0).Word(0).Word(100).Word(50);
  bytes.Word(0xFFFF).Word(5).Text(L"Class").Text(L"");
  if (style & DS_SETFONT) bytes.Word(pointSize).Word(FW_NORMAL).Word(0).Text(L"MS Shell Dlg");
  return bytes;
}

// The font size a dialog is made anew in at another DPI comes from its
// template, in either layout.
TEST(DialogFramework, TheFontSizeOfATemplateOfEitherLayout) {
  const TemplateBytes extended = Extended(DS_SETFONT | WS_CHILD, 9);
  struct Case {
    const char* what;
    std::vector<BYTE> bytes;
    int pointSize;
  } cases[] = {
      {"classic, with a font", Classic(DS_SETFONT | WS_POPUP, 10).Bytes(), 10},
      {"classic, without one", Classic(WS_POPUP, 10).Bytes(), 0},
      {"extended, menu by number and class by name", extended.Bytes(), 9},
      {"extended, without a font", Extended(WS_CHILD, 9).Bytes(), 0},
      {"extended, cut off before its point size",
       extended.Cut(extended.Bytes().size() - 3 * sizeof(WORD) - sizeof(L"MS Shell Dlg")), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ui::TemplatePointSize(c.bytes), c.pointSize) << c.what;
}

}  // namespace
}  // namespace norvane::test
