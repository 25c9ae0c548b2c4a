// udev's word that a drive came or went, which list --watch waits on.
#include <poll.h>

#include <gtest/gtest.h>

#include "tool/linux/drive_events_linux.h"

namespace norvane::tool {
namespace {

// The monitor listens from the moment it is made: what it is told is there
// to be read, and once taken the next poll waits again. (udev sends nothing
// here unless a device changes; an empty monitor is taken without blocking.)
TEST(DriveEvents, TheMonitorIsOpenForPollingAndTakingEventsNeverBlocks) {
  DriveEvents events;
  ASSERT_GE(events.Descriptor(), 0) << "udev's monitor could not be opened";
  events.Drain();
  pollfd monitor{events.Descriptor(), POLLIN, 0};
  EXPECT_EQ(poll(&monitor, 1, 0), 0) << "nothing left to read after the events were taken";
}

}  // namespace
}  // namespace norvane::tool
