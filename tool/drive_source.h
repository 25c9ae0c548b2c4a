// Where a run's drives come from: the real device nodes of this machine, or
// the emulated drives of the demo. The tool reaches them only through the
// command layer; a source only names them, opens them and explains failures.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "drive/device_io.h"
#include "drive/system_error.h"

namespace norvane::tool {

struct DeviceNode {
  std::string name;   // how the user names it: /dev/sr0, or E for a drive letter
  std::wstring path;  // the device path the command layer opens
  char letter = 0;    // the drive letter it is, or 0 for a device node
};

class DriveSource {
 public:
  virtual ~DriveSource() = default;
  virtual DeviceIo& Io() = 0;
  // The device nodes that may be drives, in the order they are listed.
  virtual std::vector<DeviceNode> Candidates() = 0;
  // The node a --device value names, or none.
  virtual std::optional<DeviceNode> Resolve(const std::string& name) const = 0;
  // The one device path of the drive behind a node, whatever name reached
  // it: every name of one drive gives the same path, so that locks and
  // guards that compare drives meet however the user named it.
  virtual std::wstring DrivePath(const DeviceNode& node) const { return node.path; }
  // What went wrong in the last failed open or command below the seam.
  virtual SystemError LastError() const = 0;
  // Where a file system on the node's disc is mounted, or none.
  virtual std::optional<std::string> MountPoint(const DeviceNode& node) const = 0;
  // Why WRITE BUFFER would be refused here, or none.
  virtual std::optional<std::string> WriteBufferRefusal() const = 0;
  // A person was asked to put a disc in the drive and close the tray.
  virtual void DiscOffered(const DeviceNode& node) = 0;
};

}  // namespace norvane::tool
