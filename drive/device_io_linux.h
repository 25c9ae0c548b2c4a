// The Linux transport: device nodes such as /dev/sr0 or /dev/sg1, and the
// SCSI pass-through library of sg3_utils (sg_pt), which issues SG_IO.
#pragma once

#include <string>

#include "drive/device_io.h"
#include "drive/system_error.h"

struct sg_pt_base;

namespace norvane {

// What one pass-through call came back with, as sg_pt reports it.
struct PassThroughOutcome {
  int submitted = 0;  // do_scsi_pt: 0, a positive SCSI_PT_DO_* code, or a negated errno
  int category = 0;   // SCSI_PT_RESULT_*, meaningful when submitted is 0
  int scsiStatus = 0;
  int osError = 0;
  int transportError = 0;
  std::uint32_t transferLength = 0;  // what the command asked to move
  int residual = 0;                  // get_scsi_pt_resid: how much of it did not move
};

// Hands one command to a pass-through object: its block, its data in the
// caller's direction, and the reply's sense area for the drive's sense data.
// Answers the time-out, in seconds, to submit it with.
int PreparePassThrough(sg_pt_base& request, const ScsiCommand& command, ScsiReply& reply);
// Takes the SCSI status and the bytes moved into the reply. False when the
// command did not reach the drive or its answer was lost on the way: the
// operating system refused it, the transport failed, or it timed out.
bool TakeOutcome(const PassThroughOutcome& outcome, ScsiReply& reply);
// Why an outcome failed, in words; empty when it did not.
std::string DescribeFailure(const PassThroughOutcome& outcome);

class LinuxDeviceIo final : public DeviceIo {
 public:
  // Opens device nodes that carry SCSI commands (the sg and sr drivers and
  // other SCSI block devices); anything else is refused with a reason.
  DeviceHandle Open(const wchar_t* path, DeviceAccess access) override;
  bool PassThrough(DeviceHandle device, const ScsiCommand& command, ScsiReply& reply) override;
  // Linux has no switch for media change notification: nothing is switched
  // off, and the answer says so (false).
  bool PreventMediaChangeNotification(DeviceHandle notification) override;
  void Close(DeviceHandle handle) override;
  void Sleep(std::uint32_t milliseconds) override;

  const SystemError& LastError() const;
  std::uint32_t LastErrorCode() const override { return static_cast<std::uint32_t>(m_lastError.code); }

 private:
  SystemError m_lastError;
};

// Device paths travel through the seam as wide text, one character per byte
// of the Linux path, so that any path survives the round trip.
std::wstring WidePath(const std::string& path);
std::string NarrowPath(const wchar_t* path);

}  // namespace norvane
