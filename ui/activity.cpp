#include "ui/activity.h"

#include <algorithm>

namespace norvane::ui {

Activity::Entry::Entry(Kind kind, UINT doingId) : m_kind(kind) { Now().Enter(kind, doingId); }

Activity::Entry::~Entry() { Now().Leave(m_kind); }

Activity& Activity::Now() {
  thread_local Activity activity;
  return activity;
}

void Activity::Enter(Kind kind, UINT doingId) {
  if (m_depth[Index(kind)]++ == 0 && kind == Kind::Action) m_outermostDoing = doingId;
}

void Activity::Leave(Kind kind) {
  if (--m_depth[Index(kind)] > 0 || kind != Kind::Action) return;
  m_outermostDoing = 0;
  for (const auto& [window, message] : std::exchange(m_putOff, {})) PostMessageW(window, message, 0, 0);
}

void Activity::PutOff(HWND window, UINT message) {
  if (!Inside(Kind::Action)) {
    PostMessageW(window, message, 0, 0);
    return;
  }
  const std::pair<HWND, UINT> work{window, message};
  if (std::ranges::find(m_putOff, work) == m_putOff.end()) m_putOff.push_back(work);
}

}  // namespace norvane::ui
