#include "tool/linux/drive_events_linux.h"

#include <libudev.h>

#include <cstring>
#include <memory>

namespace norvane::tool {

// Optical drives appear as block disks (/dev/sr*) and as SCSI generic nodes
// (/dev/sg*); the events come after udev has set the nodes up.
DriveEvents::DriveEvents() : m_udev(udev_new()) {
  if (!m_udev) return;
  m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
  if (!m_monitor) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "block", "disk") < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "scsi_generic", nullptr) < 0 ||
      udev_monitor_enable_receiving(m_monitor.get()) < 0) {
    m_monitor.reset();
  }
}

int DriveEvents::Descriptor() const { return m_monitor ? udev_monitor_get_fd(m_monitor.get()) : -1; }

// The monitor's socket does not block: it answers null once it is empty. A
// disc put in or taken out is a "change" of the disk: no drive came or went.
bool DriveEvents::Drain() {
  if (!m_monitor) return false;
  bool cameOrWent = false;
  using Device = std::unique_ptr<udev_device, FreedBy<udev_device_unref>>;
  while (const Device device{udev_monitor_receive_device(m_monitor.get())}) {
    const char* action = udev_device_get_action(device.get());
    if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) cameOrWent = true;
  }
  return cameOrWent;
}

}  // namespace norvane::tool
