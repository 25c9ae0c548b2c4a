// Time as the emulated drives see it: it moves only when someone sleeps or a
// test advances it, so a 30-second wait takes no real time. The demo lets it
// follow real time as well, so that playback counters grow while a person
// watches, and a sleep still returns at once.
#pragma once

#include <chrono>
#include <cstdint>

namespace norvane::emu {

class VirtualClock {
 public:
  std::uint64_t NowMs() const { return m_offset + RealElapsedMs(); }
  void Advance(std::uint64_t ms) { m_offset += ms; }

  // While on, NowMs is the advanced offset plus the real time elapsed since
  // this was switched on; switching it off keeps the time reached.
  void FollowRealTime(bool follow) {
    if (follow == m_following) return;
    m_offset += RealElapsedMs();
    m_following = follow;
    m_since = std::chrono::steady_clock::now();
  }

 private:
  std::uint64_t RealElapsedMs() const {
    if (!m_following) return 0;
    const auto elapsed = std::chrono::steady_clock::now() - m_since;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  }

  std::uint64_t m_offset = 0;
  bool m_following = false;
  std::chrono::steady_clock::time_point m_since{};
};

}  // namespace norvane::emu
