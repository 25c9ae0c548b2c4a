// The system's word that a drive came or went, from udev: a watch wakes on
// it instead of only at its next tick.
#pragma once

#include <libudev.h>

#include <memory>

#include "platform/freed_by.h"

namespace norvane::tool {

class DriveEvents {
 public:
  DriveEvents();
  DriveEvents(const DriveEvents&) = delete;
  DriveEvents& operator=(const DriveEvents&) = delete;

  // What to poll for the next event; -1 where udev cannot be reached (a
  // container without it, say): the watch then goes by its ticks alone.
  int Descriptor() const;
  // Takes the events that have come, so that the next poll waits for new
  // ones; true when among them a drive's device was added or removed.
  bool Drain();

 private:
  std::unique_ptr<udev, FreedBy<udev_unref>> m_udev;
  std::unique_ptr<udev_monitor, FreedBy<udev_monitor_unref>> m_monitor;  // goes before the udev it came from
};

}  // namespace norvane::tool
