#include "ui/dialog.h"

#include <cstring>
#include <utility>
#include <vector>

#include "ui/activity.h"
#include "ui/contained.h"
#include "ui/dpi.h"
#include "ui/waiting.h"

namespace norvane::ui {
namespace {

// WM_GETDPISCALEDSIZE, which came with Windows 10 1703: the system asks a
// window what size it takes at another DPI before it tells of the change.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// The window property that leads from a dialog window to its object. A
// property, unlike DWLP_USER, can be asked of any window.
constexpr wchar_t kObjectProperty[] = L"norvane.ui.dialog";

std::vector<BYTE> LoadTemplate(UINT id) {
  HRSRC resource = FindResourceW(Instance(), MAKEINTRESOURCEW(id), RT_DIALOG);
  if (!resource) return {};
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(Instance(), resource)));
  if (!bytes) return {};
  return std::vector<BYTE>(bytes, bytes + SizeofResource(Instance(), resource));
}

// Adds style bits to a template of either layout: DLGTEMPLATE starts with its
// style; DLGTEMPLATEEX starts with version 1 and 0xFFFF and has it at 12.
void AddTemplateStyle(std::vector<BYTE>& dialogTemplate, DWORD style) {
  WORD head[2];
  std::memcpy(head, dialogTemplate.data(), sizeof head);
  const std::size_t offset = head[0] == 1 && head[1] == 0xFFFF ? 12 : 0;
  DWORD current;
  std::memcpy(&current, dialogTemplate.data() + offset, sizeof current);
  current |= style;
  std::memcpy(dialogTemplate.data() + offset, &current, sizeof current);
}

// Messages whose result a dialog procedure answers directly instead of
// through DWLP_MSGRESULT.
bool AnswersDirectly(UINT id) {
  return (id >= WM_CTLCOLORMSGBOX && id <= WM_CTLCOLORSTATIC) || id == WM_COMPAREITEM || id == WM_VKEYTOITEM ||
         id == WM_CHARTOITEM || id == WM_QUERYDRAGICON || id == WM_INITDIALOG;
}

// A request to act that another thread sends while this one waits for a
// drive (an automation client clicking a button, say) is delivered inside
// the wait; it runs after it, from the message loop, so that no action
// starts inside another. Answers whether `message` was put off.
bool IsCloseRequest(const Message& message) {
  return message.id == WM_CLOSE || (message.id == WM_SYSCOMMAND && (message.wParam & 0xFFF0) == SC_CLOSE);
}

bool PutOffUntilTheWaitIsOver(HWND window, const Message& message) {
  if (message.id != WM_COMMAND && message.id != WM_SYSCOMMAND && message.id != WM_CLOSE) return false;
  PostMessageW(window, message.id, message.wParam, message.lParam);
  return true;
}

HWND ParentOf(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) ? GetParent(window) : nullptr; }

// Top-level dialogs open centred on their owner, or on the work area.
void Centre(HWND dialog) {
  RECT area;
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  RECT window;
  GetWindowRect(dialog, &window);
  const int x = area.left + ((area.right - area.left) - (window.right - window.left)) / 2;
  const int y = area.top + ((area.bottom - area.top) - (window.bottom - window.top)) / 2;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool Matches(UINT entryMessage, UINT entryId, UINT entryCode, const Message& message) {
  if (entryMessage == kAnyCtlColor) return message.id >= WM_CTLCOLORMSGBOX && message.id <= WM_CTLCOLORSTATIC;
  if (entryMessage != message.id) return false;
  UINT id;
  UINT code;
  if (message.id == WM_COMMAND) {
    const Command command = CommandOf(message);
    id = static_cast<UINT>(command.id);
    code = command.code;
  } else if (message.id == WM_NOTIFY) {
    const NMHDR& header = NotificationOf(message);
    id = static_cast<UINT>(header.idFrom);
    code = header.code;
  } else {
    return true;
  }
  return (entryId == kAny || entryId == id) && (entryCode == kAny || entryCode == code);
}

UINT_PTR TimerIdOf(const Message& message) { return message.wParam; }

Command CommandOf(const Message& message) {
  return {LOWORD(message.wParam), HIWORD(message.wParam), reinterpret_cast<HWND>(message.lParam)};
}

const NMHDR& NotificationOf(const Message& message) { return *reinterpret_cast<const NMHDR*>(message.lParam); }

ColourRequest ColourRequestOf(const Message& message) {
  return {message.id, reinterpret_cast<HDC>(message.wParam), reinterpret_cast<HWND>(message.lParam)};
}

UINT SystemCommandOf(const Message& message) { return static_cast<UINT>(message.wParam) & 0xFFF0; }

const DRAWITEMSTRUCT& DrawItemOf(const Message& message) {
  return *reinterpret_cast<const DRAWITEMSTRUCT*>(message.lParam);
}

DeviceChange DeviceChangeOf(const Message& message) {
  return {static_cast<UINT>(message.wParam), reinterpret_cast<const DEV_BROADCAST_HDR*>(message.lParam)};
}

DpiChange DpiChangeOf(const Message& message) {
  return {LOWORD(message.wParam), *reinterpret_cast<const RECT*>(message.lParam)};
}

CDialog::CDialog(UINT templateId) : m_templateId(templateId) {}

CDialog::~CDialog() {
  if (!m_hwnd) return;
  // Detached first: the messages of the destruction must not reach an object
  // that is half gone.
  HWND hwnd = m_hwnd;
  RemovePropW(hwnd, kObjectProperty);
  m_hwnd = nullptr;
  DestroyWindow(hwnd);
}

CDialog* CDialog::FromHandle(HWND hwnd) { return static_cast<CDialog*>(GetPropW(hwnd, kObjectProperty)); }

bool CDialog::Create(HWND parent, DWORD extraStyle) {
  std::vector<BYTE> dialogTemplate = LoadTemplate(m_templateId);
  if (dialogTemplate.empty()) return false;
  AddTemplateStyle(dialogTemplate, extraStyle);
  m_pointSize = TemplatePointSize(dialogTemplate);
  return CreateDialogIndirectParamW(Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()), parent,
                                    DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

bool CDialog::CreateModeless(HWND owner) { return Create(owner, 0); }

bool CDialog::CreateChild(HWND parent) { return Create(parent, WS_CHILD | DS_CONTROL); }

INT_PTR CDialog::DoModal(HWND owner) {
  m_modal = true;
  m_ended = false;
  if (!Create(owner, 0)) {
    m_modal = false;
    return -1;
  }
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);
  if (!m_ended) ShowWindow(m_hwnd, SW_SHOWNORMAL);
  RunModalLoop();
  // The owner is enabled again before the dialog goes, so that it becomes
  // the active window instead of some other application's.
  if (disableOwner) EnableWindow(owner, TRUE);
  if (m_hwnd) DestroyWindow(m_hwnd);
  m_modal = false;
  return m_result;
}

void CDialog::RunModalLoop() {
  MSG msg;
  while (!m_ended) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside this one
      break;
    }
    ProcessMessage(msg);
  }
}

void CDialog::ProcessMessage(MSG& msg) {
  for (HWND window = msg.hwnd; window; window = ParentOf(window)) {
    CDialog* dialog = FromHandle(window);
    if (dialog && dialog->PreTranslateMessage(msg)) return;
  }
  if (m_hwnd && IsDialogMessageW(m_hwnd, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void CDialog::EndDialog(INT_PTR result) {
  m_result = result;
  if (m_modal) {
    m_ended = true;
    PostMessageW(m_hwnd, WM_NULL, 0, 0);  // wakes GetMessage
  } else {
    ::EndDialog(m_hwnd, result);
  }
}

bool CDialog::PreTranslateMessage(MSG& msg) { return IsChildDialog() && RouteEnterAndEscape(msg); }

// The dialog manager sends Enter and Escape on a control of a DS_CONTROL child
// to the top-level dialog, which would close the whole window. A child dialog
// takes them as a dialog of its own would: Enter clicks a focused push
// button, and otherwise they are the child's own IDOK and IDCANCEL.
bool CDialog::RouteEnterAndEscape(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) return false;
  if (!IsChild(m_hwnd, msg.hwnd)) return false;
  const LPARAM asked = reinterpret_cast<LPARAM>(&msg);
  const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, asked);
  if (code & DLGC_WANTALLKEYS) return false;
  if (msg.wParam == VK_RETURN && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
    SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  const int id = msg.wParam == VK_RETURN ? IDOK : IDCANCEL;
  SendMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_hwnd, id)));
  return true;
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

void CDialog::BindControl(CWindow& control, int id) const { control.m_hwnd = GetDlgItem(m_hwnd, id); }

// A child dialog is a page of its parent: ending it would only hide it and
// leave a blank area, so it never ends itself.
bool CDialog::IsChildDialog() const { return (GetWindowLongW(m_hwnd, GWL_STYLE) & WS_CHILD) != 0; }

void CDialog::OnOK() {
  if (!IsChildDialog()) EndDialog(IDOK);
}

void CDialog::OnCancel() {
  if (!IsChildDialog()) EndDialog(IDCANCEL);
}

LRESULT CDialog::Default() const {
  if (!m_current) return 0;
  return DefWindowProcW(m_hwnd, m_current->id, m_current->wParam, m_current->lParam);
}

UINT CDialog::DpiOf(HWND window) {
  for (HWND inside = window; inside; inside = ParentOf(inside)) {
    if (const CDialog* dialog = FromHandle(inside)) return dialog->m_dpi;
  }
  return SystemDpiOf(window);
}

void CDialog::FollowDpiChange(const DpiChange& change) {
  const RECT& to = change.suggested;
  SetWindowPos(m_hwnd, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RescaleTo(change.dpi);
}

// The controls take the new font before the old one goes: a control keeps
// drawing with the font it was given last.
void CDialog::RescaleTo(UINT dpi) {
  const UINT from = std::exchange(m_dpi, dpi);
  if (from == dpi) return;
  const auto current = reinterpret_cast<HFONT>(Send(WM_GETFONT));
  HFONT font = m_pointSize ? CreateFontAtDpi(current, m_pointSize, dpi) : nullptr;
  for (HWND child = GetWindow(m_hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    CDialog* dialog = FromHandle(child);
    // A control fits itself to a new font (a combo box its height): it is
    // placed after.
    m_childLayout.Scale(child, from, dpi, [&] {
      if (!dialog && font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    });
    if (dialog) dialog->RescaleTo(dpi);
  }
  if (font) m_dpiFont.Reset(font);
  OnRescaled(from, dpi);
  RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The dialog manager keeps answering with the font it made of the template
// at first; a dialog that followed a DPI change answers with its own.
bool CDialog::AnswerFont(const Message& message, LRESULT& result) const {
  if (message.id != WM_GETFONT || !m_dpiFont.Get()) return false;
  result = reinterpret_cast<LRESULT>(m_dpiFont.Get());
  return true;
}

// A dialog that follows DPI changes itself scales its layout by the ratio of
// the DPIs, so its window must grow by that ratio too, as the system scales
// it, not to the size the dialog manager would measure for the new font.
bool CDialog::AnswerScaledSize(const Message& message, LRESULT& result) const {
  if (message.id != kGetDpiScaledSize || !HasEntryFor(WM_DPICHANGED)) return false;
  result = FALSE;  // no size of ours: the system's
  return true;
}

void CDialog::SetTimer(UINT_PTR id, UINT milliseconds) const { ::SetTimer(m_hwnd, id, milliseconds, nullptr); }

void CDialog::KillTimer(UINT_PTR id) const { ::KillTimer(m_hwnd, id); }

void CDialog::NameControls(std::span<const AccessibleName> names) {
  for (const AccessibleName& entry : names) {
    HWND control = Item(entry.controlId);
    HWND label = entry.labelId ? Item(entry.labelId) : nullptr;
    auto name = [entry, control, label] {
      std::wstring text = label ? LabelName(label) : LoadResourceString(entry.stringId);
      if (entry.withOwnText) text += L" " + LabelName(control);
      return text;
    };
    auto& named = m_namedControls.emplace_back(std::make_unique<CAccessibleControl>());
    named->Attach(control, {name, nullptr, 0});
  }
}

void CDialog::FocusItem(int id) const {
  HWND keeper = IsChildDialog() ? GetParent(m_hwnd) : m_hwnd;
  SendMessageW(keeper, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

int CDialog::CheckState(int id) const { return static_cast<int>(IsDlgButtonChecked(m_hwnd, id)); }

void CDialog::SetCheck(int id, bool checked) const {
  CheckDlgButton(m_hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CDialog::EnableItem(int id, bool enable) const { EnableWindow(GetDlgItem(m_hwnd, id), enable); }

void CDialog::EnableItems(std::initializer_list<int> ids, bool enable) const {
  for (int id : ids) EnableItem(id, enable);
}

void CDialog::ShowItem(int id, bool show) const { ShowWindow(GetDlgItem(m_hwnd, id), show ? SW_SHOW : SW_HIDE); }

void CDialog::SetItemText(int id, const std::wstring& text) const { SetDlgItemTextW(m_hwnd, id, text.c_str()); }

void CDialog::SetItemTexts(std::span<const ControlText> texts) const {
  for (const ControlText& text : texts) SetItemText(text.controlId, LoadResourceString(text.stringId));
}

// A handler's exception stops here: the message is answered as by a dialog
// procedure that does not handle it, and the dialog manager's default
// handling runs.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT id, WPARAM wParam, LPARAM lParam) {
  return Contained(
      L"the dialog procedure", id, [&] { return Route(hwnd, id, wParam, lParam); }, [] { return INT_PTR{FALSE}; });
}

INT_PTR CDialog::Route(HWND hwnd, UINT id, WPARAM wParam, LPARAM lParam) {
  if (id == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->m_hwnd = hwnd;
    SetPropW(hwnd, kObjectProperty, dialog);
    return dialog->Initialise();
  }
  CDialog* dialog = FromHandle(hwnd);
  if (!dialog) return FALSE;  // the few messages before WM_INITDIALOG
  if (id == WM_NCDESTROY) {
    // The object lets go of the window before anything else can reach it.
    RemovePropW(hwnd, kObjectProperty);
    dialog->m_hwnd = nullptr;
    if (dialog->m_modal) dialog->m_ended = true;
    dialog->PostNcDestroy();
    return FALSE;
  }
  return dialog->Dispatch(id, wParam, lParam);
}

// The dialog manager laid the template out at the DPI of the window.
INT_PTR CDialog::Initialise() {
  m_dpi = SystemDpiOf(m_hwnd);
  const BOOL setFocus = OnInitDialog();
  if (!IsChildDialog()) Centre(m_hwnd);
  return setFocus;
}

INT_PTR CDialog::Dispatch(UINT id, WPARAM wParam, LPARAM lParam) {
  const Message message{id, wParam, lParam};
  // Handlers may send messages to their own window: each dispatch keeps its
  // own message for Default, and puts the outer one back however it ends.
  struct Current {
    const Message*& slot;
    const Message* outer;
    ~Current() { slot = outer; }
  } current{m_current, std::exchange(m_current, &message)};
  if (const Activity& now = Activity::Now(); now.Inside(Activity::Kind::Wait)) {
    // A call the drive does not answer may last minutes: the user who closes
    // the window then wants the program gone, and the drive keeps all of its
    // state itself.
    if (now.Inside(Activity::Kind::DriveCall) && IsCloseRequest(message) && ClosingEndsTheProgram())
      EndTheProgramInsideADriveCall();
    if (PutOffUntilTheWaitIsOver(m_hwnd, message)) return TRUE;
  }
  if (id == WM_COMMAND && !PreviewCommand(CommandOf(message))) return TRUE;
  LRESULT result = 0;
  if (AnswerFont(message, result) || AnswerScaledSize(message, result) || HandleMessage(message, result)) {
    if (AnswersDirectly(id)) return static_cast<INT_PTR>(result);
    if (m_hwnd) SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  if (id == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace norvane::ui
