// The real transport: Win32 device handles and the SCSI pass-through ioctl.
#pragma once

#include <windows.h>
#include <ntddscsi.h>
#include <winioctl.h>
#include <cstddef>

#include "drive/device_io.h"

namespace norvane {

// The block handed to IOCTL_SCSI_PASS_THROUGH_DIRECT: the request, then the
// sense area the driver fills. Sizes and offsets are the platform's own.
struct PassThroughRequest {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG filler;
  UCHAR sense[kSenseAreaLength];
};

// The request block's layout on each Windows, checked as the program compiles,
// so that a build is known right even on a machine that cannot run it.
#if defined(_WIN64)
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24 &&
              offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 32 &&
              offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56 && offsetof(PassThroughRequest, sense) == 60 &&
              sizeof(PassThroughRequest) == 96);
#else
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20 &&
              offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24 &&
              offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44 && offsetof(PassThroughRequest, sense) == 48 &&
              sizeof(PassThroughRequest) == 80);
#endif

// Fills a zeroed request for one command (a pure function, so tests can check it byte for byte).
void FillPassThroughRequest(PassThroughRequest& request, const ScsiCommand& command);
// Takes the drive's answer from a request the driver has handed back: the
// status, the sense area, and the bytes moved, which the driver leaves in
// DataTransferLength in place of the length asked for.
void TakeReply(const PassThroughRequest& request, ScsiReply& reply);

// The Win32 implementation of the seam, for the shipped program.
DeviceIo& Win32Devices();

}  // namespace norvane
