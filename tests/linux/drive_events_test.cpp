// udev's word that a drive came or went, which list --watch waits on.
#include <poll.h>

#include <gtest/gtest.h>

#include "tests/common/udev_event.h"
#include "tool/linux/drive_events_linux.h"

namespace norvane::tool {
namespace {

// Far longer than udev takes to pass an event on.
constexpr int kLongWaitMs = 5000;

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

// What udev says, and whether the watch takes it for a drive that came or
// went: a disc put in is a change of the disk, not a drive; a network
// device never reaches the monitor.
TEST(DriveEvents, ADriveAddedOrRemovedWakesTheWatchAndADiscChangeDoesNot) {
  const struct {
    const char *action, *subsystem, *devtype;
    bool delivered, cameOrWent;
  } cases[] = {
      {"remove", "block", "disk", true, true},        {"add", "block", "disk", true, true},
      {"remove", "scsi_generic", "", true, true},     {"change", "block", "disk", true, false},
      {"remove", "block", "partition", false, false}, {"remove", "net", "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.subsystem + " " + c.devtype);
    DriveEvents events;
    ASSERT_GE(events.Descriptor(), 0) << "udev's monitor could not be opened";
    events.Drain();
    const int error = test::AnnounceUdevEvent(c.action, c.subsystem, c.devtype, "sr9");
    if (error == EPERM) GTEST_SKIP() << "sending as udev takes CAP_NET_ADMIN";
    ASSERT_EQ(error, 0) << std::strerror(error);
    pollfd monitor{events.Descriptor(), POLLIN, 0};
    EXPECT_EQ(poll(&monitor, 1, c.delivered ? kLongWaitMs : 200), c.delivered ? 1 : 0);
    EXPECT_EQ(events.Drain(), c.cameOrWent);
    EXPECT_EQ(poll(&monitor, 1, 0), 0) << "the event was taken";
  }
}

}  // namespace
}  // namespace norvane::tool
