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

#include <initializer_list>
#include <span>
#include <string>

#include "ui/window.h"

namespace norvane::ui {

struct Message {
  UINT id;
  WPARAM wParam;
  LPARAM lParam;
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

 protected:
  // Default initialisation: data exchange. Answers whether the dialog manager
  // should set the focus.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange() {}
  void BindControl(CWindow& control, int id) const;
  // Runs on every WM_COMMAND before the message table sees it; answers false
  // to end the handling of the command there.
  virtual bool PreviewCommand(const Message&) { return true; }
  // The class's message table; CDialogImpl supplies it.
  virtual bool HandleMessage(const Message& message, LRESULT& result) = 0;
  // IDOK and IDCANCEL when the table has no entry for them: end a top-level
  // dialog; a child dialog stays.
  virtual void OnOK();
  virtual void OnCancel();
  // After the window is gone for good (WM_NCDESTROY).
  virtual void PostNcDestroy() {}

  // The window's default handling of a message, for handlers that let it run
  // first or instead.
  LRESULT Default(const Message& message) const;
  void SetTimer(UINT_PTR id, UINT milliseconds) const;

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

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT id, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT id, WPARAM wParam, LPARAM lParam);
  INT_PTR Initialise();
  bool IsChildDialog() const;
  bool RouteEnterAndEscape(const MSG& msg);
  bool Create(HWND parent, DWORD extraStyle);
  void RunModalLoop();

  UINT m_templateId;
  bool m_modal = false;
  bool m_ended = false;
  INT_PTR m_result = 0;
};

// Pseudo message id in a table: any WM_CTLCOLOR* request.
inline constexpr UINT kAnyCtlColor = 0xFFFF0000u;
// In a table entry: any control id, any notification code.
inline constexpr UINT kAny = 0xFFFFFFFFu;

template <class T>
struct MessageEntry {
  using Handler = LRESULT (T::*)(const Message&);
  UINT message;
  UINT id;    // control id of WM_COMMAND and WM_NOTIFY, else kAny
  UINT code;  // notification code of WM_COMMAND and WM_NOTIFY, else kAny
  Handler handler;
};

template <class T>
constexpr MessageEntry<T> OnMessage(UINT message, LRESULT (T::*handler)(const Message&)) {
  return {message, kAny, kAny, handler};
}
template <class T>
constexpr MessageEntry<T> OnCommand(UINT id, UINT code, LRESULT (T::*handler)(const Message&)) {
  return {WM_COMMAND, id, code, handler};
}
template <class T>
constexpr MessageEntry<T> OnNotify(UINT id, UINT code, LRESULT (T::*handler)(const Message&)) {
  return {WM_NOTIFY, id, code, handler};
}
template <class T>
constexpr MessageEntry<T> OnCtlColor(LRESULT (T::*handler)(const Message&)) {
  return {kAnyCtlColor, kAny, kAny, handler};
}

bool Matches(UINT entryMessage, UINT entryId, UINT entryCode, const Message& message);

// The base of each concrete dialog class T, which lists its messages in a
// public static member, for example:
//
//   std::span<const ui::MessageEntry<CStatusDialog>> CStatusDialog::MessageTable() {
//     static constexpr ui::MessageEntry<CStatusDialog> table[] = {
//         ui::OnMessage(WM_TIMER, &CStatusDialog::OnTimer),
//         ui::OnCommand(IDC_CLEAR, BN_CLICKED, &CStatusDialog::OnClear),
//         ui::OnCtlColor(&CStatusDialog::OnCtlColor),
//     };
//     return table;
//   }
//
// The first matching entry handles the message; its answer is the message's
// result (the brush of a WM_CTLCOLOR*, the LRESULT of a WM_NOTIFY, ...). A
// handler that wants the window's default handling too calls Default. A
// message without an entry gets the dialog manager's default handling; IDOK
// and IDCANCEL without one go to OnOK and OnCancel.
template <class T>
class CDialogImpl : public CDialog {
 public:
  using CDialog::CDialog;

  // A class without messages of its own.
  static std::span<const MessageEntry<T>> MessageTable() { return {}; }

 protected:
  bool HandleMessage(const Message& message, LRESULT& result) override {
    for (const MessageEntry<T>& entry : T::MessageTable()) {
      if (Matches(entry.message, entry.id, entry.code, message)) {
        result = (static_cast<T*>(this)->*entry.handler)(message);
        return true;
      }
    }
    return false;
  }
};

}  // namespace norvane::ui
