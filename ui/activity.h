// What the window's thread is doing now, and the one place every part of the
// window asks before it acts.
//
// A call for a drive and a wait answer what is sent to the windows while
// they last, so a sent message may come in the middle of either. An action
// the user started (a question, then the drive's commands) is open across a
// message box, whose own loop dispatches the window's posted work; work that
// would move the window to another drive (a drive list built anew after a
// device change) must not run between the question and the commands it
// allows, or they would reach a drive the user never confirmed. A bus power
// check holds the window's drive list and tabs from Run to its verdict.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace norvane::ui {

class Activity {
 public:
  enum class Kind : std::size_t {
    DriveCall,      // a call for a drive, carried out on the drive thread
    Wait,           // answering what was sent to the windows, inside a wait or a drive call
    Action,         // an action the user started, from its question to its last command
    BusPowerCheck,  // the Utility page's check, from Run to its end
  };

  // Marks the thread as doing `kind` for as long as it lives; entries nest.
  class Entry {
   public:
    // `doingId`: for an action, the string that says what it does.
    explicit Entry(Kind kind, UINT doingId = 0);
    // The outermost action posts the work that was put off meanwhile.
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

   private:
    Kind m_kind;
  };

  // The thread's own: each thread's windows answer for themselves.
  static Activity& Now();

  bool Inside(Kind kind) const { return m_depth[Index(kind)] > 0; }
  // Whether the window must keep its page and drive list as they are: a
  // change of tab cannot be put off (its notification points into the
  // sender's memory), so it is refused.
  bool MustKeepThePage() const { return Inside(Kind::BusPowerCheck) || Inside(Kind::Wait); }
  // What the outermost action under way does (its string id); 0 when none is.
  UINT WhatIsUnderWay() const { return m_outermostDoing; }

  // Posts `message` to `window` once no action is under way: at once when
  // none is, else once, when the outermost ends.
  void PutOff(HWND window, UINT message);

 private:
  static constexpr std::size_t Index(Kind kind) { return static_cast<std::size_t>(kind); }
  void Enter(Kind kind, UINT doingId);
  void Leave(Kind kind);

  std::array<int, 4> m_depth{};
  UINT m_outermostDoing = 0;
  std::vector<std::pair<HWND, UINT>> m_putOff;
};

}  // namespace norvane::ui
