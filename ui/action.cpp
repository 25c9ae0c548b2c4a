#include "ui/action.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace norvane::ui {
namespace {

thread_local int actionsUnderWay = 0;
thread_local UINT outermostDoing = 0;
thread_local std::vector<std::pair<HWND, UINT>> putOffUntilNoAction;

}  // namespace

ActionUnderWay::ActionUnderWay(UINT doingId) {
  if (actionsUnderWay++ == 0) outermostDoing = doingId;
}

ActionUnderWay::~ActionUnderWay() {
  if (--actionsUnderWay > 0) return;
  outermostDoing = 0;
  for (const auto& [window, message] : std::exchange(putOffUntilNoAction, {})) {
    PostMessageW(window, message, 0, 0);
  }
}

bool AnActionIsUnderWay() { return actionsUnderWay > 0; }

UINT WhatIsUnderWay() { return outermostDoing; }

void PostOnceNoActionIsUnderWay(HWND window, UINT message) {
  if (actionsUnderWay == 0) {
    PostMessageW(window, message, 0, 0);
    return;
  }
  const std::pair<HWND, UINT> work{window, message};
  if (std::ranges::find(putOffUntilNoAction, work) == putOffUntilNoAction.end()) putOffUntilNoAction.push_back(work);
}

}  // namespace norvane::ui
