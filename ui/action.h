// An action the user started on the window's thread: a question, then the
// drive's commands. A message box runs a message loop of its own, which
// dispatches the window's posted work; work that would move the window to
// another drive (a drive list built anew after a device change) must not
// run between the question and the commands it allows, or they would reach
// a drive the user never confirmed. Such work asks here first.
#pragma once

#include <windows.h>

namespace norvane::ui {

class ActionUnderWay {
 public:
  // `doingId`: the string that says what the action does.
  explicit ActionUnderWay(UINT doingId);
  // The outermost one posts the work that was put off meanwhile.
  ~ActionUnderWay();
  ActionUnderWay(const ActionUnderWay&) = delete;
  ActionUnderWay& operator=(const ActionUnderWay&) = delete;
};

bool AnActionIsUnderWay();
// What the outermost action under way does (its string id); 0 when none is.
UINT WhatIsUnderWay();

// Posts `message` to `window` once no action is under way on this thread:
// at once when none is.
void PostOnceNoActionIsUnderWay(HWND window, UINT message);

}  // namespace norvane::ui
