// Time as the emulated drives see it: it moves only when someone sleeps or a
// test advances it, so a 30-second wait takes no real time.
#pragma once

#include <cstdint>

namespace norvane::emu {

class VirtualClock {
 public:
  std::uint64_t NowMs() const { return now_; }
  void Advance(std::uint64_t ms) { now_ += ms; }

 private:
  std::uint64_t now_ = 0;
};

}  // namespace norvane::emu
