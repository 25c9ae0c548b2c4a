// The real transport: Win32 device handles and the SCSI pass-through ioctl.
#pragma once

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include "drive/device_io.h"

namespace norvane {

// The block handed to IOCTL_SCSI_PASS_THROUGH_DIRECT: the request, then the
// sense area the driver fills. Sizes and offsets are the platform's own.
struct PassThroughRequest {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG filler;
  UCHAR sense[kSenseAreaLength];
};

// Fills a zeroed request for one command (a pure function, so tests can check it byte for byte).
void FillPassThroughRequest(PassThroughRequest& request, const ScsiCommand& command);

// The Win32 implementation of the seam, for the shipped program.
DeviceIo& Win32Devices();

}  // namespace norvane
