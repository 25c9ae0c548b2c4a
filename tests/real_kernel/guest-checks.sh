#!/usr/bin/env bash
# Inside the guest, on the host's root: loads the kernel's SCSI, CD-ROM,
# USB storage and SCSI target drivers, and runs the checks. The host reads
# the results folder after the guest has powered off.
set -uo pipefail
source=$1
results=$2
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=$(mktemp -d) LANG=C.UTF-8
cd "$results"
for module in configfs sr_mod sg usb-storage uas xhci-pci virtio_scsi virtio_console target_core_user tcm_loop; do
  modprobe "$module" || echo "modprobe $module failed" >>guest-log.txt
done
mount -t configfs configfs /sys/kernel/config
echo "$(uname -r) $(grep -c ^processor /proc/cpuinfo) cpu" >kernel.txt
NORVANE_GUEST_LOG=$results NORVANE_DRIVE_PROGRAM=$source/build/tool/tool/norvane-drive "$source/build/host/tests/real_kernel/real_kernel_tests" \
  --gtest_output="xml:$results/results.xml" >checks.txt 2>&1
echo $? >exit-code
dmesg >dmesg.txt
