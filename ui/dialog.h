// The dialog base class that every window of the program derives from.
//
// A dialog is made from a template and runs either modally under our own
// message loop (DoModal) or as a modeless window: top-level (CreateModeless)
// or a DS_CONTROL child inside another dialog (CreateChild), the way the tab
// pages live in the main window. Each class states the messages it handles in
// one table (see CDialogImpl), binds its controls by id in DoDataExchange, and
// may look at every message before it is dispatched in PreTranslateMessage.
#pragma once

#include <windows.h>
#include <dbt.h>

#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/scoped.h"
#include "ui/accessible.h"
#include "ui/dpi.h"
#include "ui/window.h"

namespace norvane::ui {

// A message as the dialog procedure received it.
struct Message {
  UINT id;
  WPARAM wParam;
  LPARAM lParam;
};

// What the handler of a WM_COMMAND is told.
struct Command {
  int id;        // the control's id (or the menu item's)
  UINT code;     // the notification code
  HWND control;  // null for a menu item or an accelerator
};

// What the handler of a WM_CTLCOLOR* request is told.
struct ColourRequest {
  UINT message;  // which request: WM_CTLCOLORSTATIC, WM_CTLCOLORBTN, ...
  HDC dc;        // the control's device context, for its colours
  HWND control;
};

// What the handler of a WM_DEVICECHANGE is told: the event (DBT_*) and the
// structure that says what it is about, null for events without one.
struct DeviceChange {
  UINT event;
  const DEV_BROADCAST_HDR* about;
};

// What the handler of a WM_DPICHANGED is told: the DPI of the monitor the
// window is now on, and the window rectangle the system suggests for it.
struct DpiChange {
  UINT dpi;
  const RECT& suggested;
};

// A control whose own text does not say what it is (a read-only edit shows
// its value, a check box only "ON"), and what names it for assistive
// technology instead.
struct AccessibleName {
  int controlId;
  int labelId = 0;           // the control whose text names it,
  UINT stringId = 0;         // or else this string;
  bool withOwnText = false;  // the label's text, then the control's own ("… ON")
};

class CDialog : public CWindow {
 public:
  explicit CDialog(UINT templateId);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally: the owner is disabled while it runs, and every
  // message goes through ProcessMessage. Answers the EndDialog result, or -1
  // when the window could not be created.
  INT_PTR DoModal(HWND owner = nullptr);
  bool CreateModeless(HWND owner = nullptr);
  // Creates the dialog as a hidden DS_CONTROL child of `parent`, whatever the
  // template's style, so that keyboard navigation descends into it.
  bool CreateChild(HWND parent);
  // Ends a modal run; for a modeless dialog, the system's EndDialog (it hides
  // the window).
  void EndDialog(INT_PTR result);

  // One turn of the modal loop: every dialog object from the message's window
  // up through its parents gets PreTranslateMessage, then the dialog's own
  // keyboard handling, then translation and dispatch.
  void ProcessMessage(MSG& msg);

  // Answers true when it has consumed the message. Pages relay here to their
  // tooltips. The base gives a child dialog its own Enter and Escape.
  virtual bool PreTranslateMessage(MSG& msg);

  // The dialog object of a window created by this class, or null.
  static CDialog* FromHandle(HWND hwnd);

  // The DPI of the dialog that `window` is or lies in; the system's for a
  // window outside our dialogs.
  static UINT DpiOf(HWND window);

 protected:
  // Default initialisation: data exchange. Answers whether the dialog manager
  // should set the focus.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange() {}
  void BindControl(CWindow& control, int id) const;
  // Runs on every WM_COMMAND before the message table sees it; answers false
  // to end the handling of the command there.
  virtual bool PreviewCommand(const Command&) { return true; }
  // The class's message table (CDialogImpl supplies it): answers whether an
  // entry handled the message, and its result. The base has no entries.
  virtual bool HandleMessage(const Message&, LRESULT&) { return false; }
  // IDOK and IDCANCEL when the table has no entry for them: end a top-level
  // dialog; a child dialog stays.
  virtual void OnOK();
  virtual void OnCancel();
  // After the window is gone for good (WM_NCDESTROY).
  virtual void PostNcDestroy() {}
  // Whether closing this window ends the program: a close asked for while a
  // drive holds a call then ends it at once instead of after the call.
  virtual bool ClosingEndsTheProgram() const { return false; }

  // The window's default handling of the message being handled, for
  // handlers that let it run first or instead.
  LRESULT Default() const;
  void SetTimer(UINT_PTR id, UINT milliseconds) const;

  // The window moved to a monitor of another DPI: it takes the rectangle the
  // system suggests and its layout follows the DPI (RescaleTo).
  void FollowDpiChange(const DpiChange& change);
  // After a rescale, for what a class keeps in pixels of its own.
  virtual void OnRescaled(UINT /*from*/, UINT /*to*/) {}
  // Whether the class's message table (or its base's) has an entry for the
  // message. CDialogImpl answers.
  virtual bool HasEntryFor(UINT) const { return false; }

  // Controls by id.
  int CheckState(int id) const;  // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE
  bool IsChecked(int id) const { return CheckState(id) == BST_CHECKED; }
  void SetCheck(int id, bool checked) const;
  void EnableItem(int id, bool enable) const;
  void EnableItems(std::initializer_list<int> ids, bool enable) const;
  void ShowItem(int id, bool show) const;
  void SetItemText(int id, const std::wstring& text) const;
  // Sets each control's text from the string table, in the order given.
  void SetItemTexts(std::span<const ControlText> texts) const;
  void KillTimer(UINT_PTR id) const;
  // Gives the keyboard focus to a control the way the dialog manager does,
  // through the dialog that keeps the focus: a child dialog's parent.
  void FocusItem(int id) const;
  // Gives the controls their names for assistive technology, for the
  // dialog's life. The labels' texts are read when a client asks.
  void NameControls(std::span<const AccessibleName> names);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT id, WPARAM wParam, LPARAM lParam);
  static INT_PTR Route(HWND hwnd, UINT id, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT id, WPARAM wParam, LPARAM lParam);
  bool AnswerFont(const Message& message, LRESULT& result) const;
  bool AnswerScaledSize(const Message& message, LRESULT& result) const;
  // Lays the dialog out for `dpi` as its template would lie out there:
  // every child window's rectangle scaled by the new DPI over the old, the
  // template's font made anew for it and its controls, and each child
  // dialog in turn. The dialog's own rectangle is its parent's to scale.
  void RescaleTo(UINT dpi);
  INT_PTR Initialise();
  bool IsChildDialog() const;
  bool RouteEnterAndEscape(const MSG& msg);
  bool Create(HWND parent, DWORD extraStyle);
  void RunModalLoop();

  UINT m_templateId;
  UINT m_dpi = 0;
  int m_pointSize = 0;         // the template's font size, 0 without one
  GdiObject<HFONT> m_dpiFont;  // the template's font at m_dpi, once the dialog followed a change
  CChildLayout m_childLayout;
  bool m_modal = false;
  bool m_ended = false;
  INT_PTR m_result = 0;
  const Message* m_current = nullptr;  // the message being dispatched, for Default
  std::vector<std::unique_ptr<CAccessibleControl>> m_namedControls;
};

// Pseudo message id in a table: any WM_CTLCOLOR* request.
inline constexpr UINT kAnyCtlColor = 0xFFFF0000u;
// In a table entry: any control id, any notification code.
inline constexpr UINT kAny = 0xFFFFFFFFu;

// The arguments of a message as its handler takes them. The casts of
// WPARAM and LPARAM live here, once.
UINT_PTR TimerIdOf(const Message& message);
Command CommandOf(const Message& message);
const NMHDR& NotificationOf(const Message& message);
ColourRequest ColourRequestOf(const Message& message);
UINT SystemCommandOf(const Message& message);  // without the low four bits, which are the system's
const DRAWITEMSTRUCT& DrawItemOf(const Message& message);
DeviceChange DeviceChangeOf(const Message& message);
DpiChange DpiChangeOf(const Message& message);

// One entry of a message table: which message, and the member of T that
// handles it with the message's arguments, typed by the kind of message.
template <class T>
struct MessageEntry {
  struct Plain {  // a message whose arguments the handler does not need
    LRESULT (T::*handler)();
    LRESULT Call(T& self, const Message&) const { return (self.*handler)(); }
  };
  struct Timer {
    LRESULT (T::*handler)(UINT_PTR timerId);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(TimerIdOf(message)); }
  };
  struct CommandHandler {
    LRESULT (T::*handler)(const Command&);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(CommandOf(message)); }
  };
  struct Notify {
    LRESULT (T::*handler)(const NMHDR&);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(NotificationOf(message)); }
  };
  struct Colour {
    LRESULT (T::*handler)(const ColourRequest&);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(ColourRequestOf(message)); }
  };
  struct SystemCommand {
    LRESULT (T::*handler)(UINT command);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(SystemCommandOf(message)); }
  };
  struct DrawItem {
    LRESULT (T::*handler)(const DRAWITEMSTRUCT&);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(DrawItemOf(message)); }
  };

  struct SessionEnd {  // WM_QUERYENDSESSION and WM_ENDSESSION
    LRESULT (T::*handler)(bool ending, LPARAM reasons);
    LRESULT Call(T& self, const Message& message) const {
      return (self.*handler)(message.id == WM_QUERYENDSESSION || message.wParam != FALSE, message.lParam);
    }
  };

  struct DeviceChangeHandler {
    LRESULT (T::*handler)(const DeviceChange&);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(DeviceChangeOf(message)); }
  };
  struct DpiChangeHandler {
    LRESULT (T::*handler)(const DpiChange&);
    LRESULT Call(T& self, const Message& message) const { return (self.*handler)(DpiChangeOf(message)); }
  };

  UINT message;
  UINT id;    // control id of WM_COMMAND and WM_NOTIFY, else kAny
  UINT code;  // notification code of WM_COMMAND and WM_NOTIFY, else kAny
  std::variant<Plain, Timer, CommandHandler, Notify, Colour, SystemCommand, DrawItem, SessionEnd, DeviceChangeHandler,
               DpiChangeHandler>
      handler;

  LRESULT Call(T& self, const Message& message) const {
    return std::visit([&](const auto& typed) { return typed.Call(self, message); }, handler);
  }
};

template <class T>
constexpr MessageEntry<T> OnMessage(UINT message, LRESULT (T::*handler)()) {
  return {message, kAny, kAny, typename MessageEntry<T>::Plain{handler}};
}
template <class T>
constexpr MessageEntry<T> OnTimer(LRESULT (T::*handler)(UINT_PTR timerId)) {
  return {WM_TIMER, kAny, kAny, typename MessageEntry<T>::Timer{handler}};
}
template <class T>
constexpr MessageEntry<T> OnCommand(UINT id, UINT code, LRESULT (T::*handler)(const Command&)) {
  return {WM_COMMAND, id, code, typename MessageEntry<T>::CommandHandler{handler}};
}
template <class T>
constexpr MessageEntry<T> OnNotify(UINT id, UINT code, LRESULT (T::*handler)(const NMHDR&)) {
  return {WM_NOTIFY, id, code, typename MessageEntry<T>::Notify{handler}};
}
template <class T>
constexpr MessageEntry<T> OnCtlColor(LRESULT (T::*handler)(const ColourRequest&)) {
  return {kAnyCtlColor, kAny, kAny, typename MessageEntry<T>::Colour{handler}};
}
template <class T>
constexpr MessageEntry<T> OnSysCommand(LRESULT (T::*handler)(UINT command)) {
  return {WM_SYSCOMMAND, kAny, kAny, typename MessageEntry<T>::SystemCommand{handler}};
}
template <class T>
constexpr MessageEntry<T> OnDrawItem(LRESULT (T::*handler)(const DRAWITEMSTRUCT&)) {
  return {WM_DRAWITEM, kAny, kAny, typename MessageEntry<T>::DrawItem{handler}};
}
// `ending`: for WM_ENDSESSION whether the session ends after all; `reasons`
// the ENDSESSION_ flags (ENDSESSION_CLOSEAPP, ENDSESSION_LOGOFF, ...).
template <class T>
constexpr MessageEntry<T> OnSessionEnd(UINT message, LRESULT (T::*handler)(bool ending, LPARAM reasons)) {
  return {message, kAny, kAny, typename MessageEntry<T>::SessionEnd{handler}};
}
template <class T>
constexpr MessageEntry<T> OnDeviceChange(LRESULT (T::*handler)(const DeviceChange&)) {
  return {WM_DEVICECHANGE, kAny, kAny, typename MessageEntry<T>::DeviceChangeHandler{handler}};
}

template <class T>
constexpr MessageEntry<T> OnDpiChanged(LRESULT (T::*handler)(const DpiChange&)) {
  return {WM_DPICHANGED, kAny, kAny, typename MessageEntry<T>::DpiChangeHandler{handler}};
}

bool Matches(UINT entryMessage, UINT entryId, UINT entryCode, const Message& message);

// The base of each concrete dialog class T, which lists its messages in a
// public static member, for example:
//
//   std::span<const ui::MessageEntry<CStatusDialog>> CStatusDialog::MessageTable() {
//     static constexpr ui::MessageEntry<CStatusDialog> kTable[] = {
//         ui::OnTimer(&CStatusDialog::OnTimer),
//         ui::OnCommand(IDC_CLEAR, BN_CLICKED, &CStatusDialog::OnClear),
//     };
//     return kTable;
//   }
//
// The first matching entry handles the message; its answer is the message's
// result (the brush of a WM_CTLCOLOR*, the LRESULT of a WM_NOTIFY, ...). A
// handler that wants the window's default handling too calls Default. A
// message without an entry in T's table goes on to the table of `Base` (a
// page base, say, whose handling its pages share), and without an entry
// there gets the dialog manager's default handling; IDOK and IDCANCEL
// without one go to OnOK and OnCancel.
template <class T, class Base = CDialog>
class CDialogImpl : public Base {
 public:
  using Base::Base;

  // A class without messages of its own.
  static std::span<const MessageEntry<T>> MessageTable() { return {}; }

 protected:
  bool HandleMessage(const Message& message, LRESULT& result) override {
    for (const MessageEntry<T>& entry : T::MessageTable()) {
      if (Matches(entry.message, entry.id, entry.code, message)) {
        result = entry.Call(static_cast<T&>(*this), message);
        return true;
      }
    }
    return Base::HandleMessage(message, result);
  }
  bool HasEntryFor(UINT id) const override {
    for (const MessageEntry<T>& entry : T::MessageTable()) {
      if (entry.message == id) return true;
    }
    return Base::HasEntryFor(id);
  }
};

}  // namespace norvane::ui
