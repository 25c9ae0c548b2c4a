#include "tool/linux/drive_events_linux.h"

#include <libudev.h>

#include <cstring>

namespace norvane::tool {

// Optical drives appear as block disks (/dev/sr*) and as SCSI generic nodes
// (/dev/sg*); the events come after udev has set the nodes up.
DriveEvents::DriveEvents() {
  m_udev = udev_new();
  if (!m_udev) return;
  m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
  if (!m_monitor) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", "disk") < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "scsi_generic", nullptr) < 0 ||
      udev_monitor_enable_receiving(m_monitor) < 0) {
    m_monitor = udev_monitor_unref(m_monitor);
  }
}

DriveEvents::~DriveEvents() {
  if (m_monitor) udev_monitor_unref(m_monitor);
  if (m_udev) udev_unref(m_udev);
}

int DriveEvents::Descriptor() const { return m_monitor ? udev_monitor_get_fd(m_monitor) : -1; }

// The monitor's socket does not block: it answers null once it is empty. A
// disc put in or taken out is a "change" of the disk: no drive came or went.
bool DriveEvents::Drain() {
  if (!m_monitor) return false;
  bool cameOrWent = false;
  while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
    const char* action = udev_device_get_action(device);
    if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) cameOrWent = true;
    udev_device_unref(device);
  }
  return cameOrWent;
}

}  // namespace norvane::tool
