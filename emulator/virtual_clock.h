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
  std::uint64_t NowMs() const { return offset_ + RealElapsedMs(); }
  void Advance(std::uint64_t ms) { offset_ += ms; }

  // While on, NowMs is the advanced offset plus the real time elapsed since
  // this was switched on; switching it off keeps the time reached.
  void FollowRealTime(bool follow) {
    if (follow == following_) return;
    offset_ += RealElapsedMs();
    following_ = follow;
    since_ = std::chrono::steady_clock::now();
  }

 private:
  std::uint64_t RealElapsedMs() const {
    if (!following_) return 0;
    const auto elapsed = std::chrono::steady_clock::now() - since_;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  }

  std::uint64_t offset_ = 0;
  bool following_ = false;
  std::chrono::steady_clock::time_point since_{};
};

}  // namespace norvane::emu
