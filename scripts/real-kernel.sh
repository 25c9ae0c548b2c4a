#!/usr/bin/env bash
# The real-kernel tier: boots Debian's own kernel in QEMU (software
# emulation, no network) on the host's root, shared read-only, and runs
# norvane-drive there against QEMU's USB and virtio CD models and against
# the emulated firmware served by the kernel's SCSI target. Prints one line
# a check, PASS or FAIL, and fails if any check failed or the guest did not
# report.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

# The same as scripts/setup.sh installs for the tier, so that the script
# runs alone too.
packages=(qemu-system-x86 linux-image-amd64 busybox-static udev sg3-utils python3)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
kernel=$(ls /lib/modules | sort -V | grep -- '-amd64$' | tail -1)

# The checks come from the test build; the tool they run is a release
# build, as shipped.
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)" --target real_kernel_tests >/dev/null
cmake --preset tool >/dev/null
cmake --build --preset tool -j "$(nproc)" --target norvane-drive >/dev/null

work=$here/build/real-kernel
rm -rf "$work"
mkdir -p "$work/initramfs/bin" "$work/initramfs/modules" "$work/results"
for folder in proc sys dev host; do mkdir -p "$work/initramfs/$folder"; done
cp /bin/busybox "$work/initramfs/bin/busybox"
cp tests/real_kernel/guest-init "$work/initramfs/init"
# Only what mounting the host's root over virtio 9p needs; the rest loads
# from the host's root once it is there.
for module in $(modprobe -S "$kernel" --show-depends -a 9p 9pnet_virtio virtio_pci | awk '/^insmod/ {print $2}'); do
  [ -e "$work/initramfs/modules/$(basename "$module")" ] && continue  # a dependency of two
  cp "$module" "$work/initramfs/modules/"
  basename "$module" >>"$work/initramfs/modules.order"
done
(cd "$work/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"
# The disc the UAS drive holds: any data will do for a CD model.
truncate -s 4M "$work/disc.iso"

python3 tests/real_kernel/monitor_relay.py "$work/port.sock" "$work/qmp.sock" &
relay=$!
trap 'kill $relay 2>/dev/null || true' EXIT

timeout 900 qemu-system-x86_64 -m 2048 -smp 2 -nographic -no-reboot -nic none \
  -kernel "/boot/vmlinuz-$kernel" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 quiet panic=-1 norvane.source=$here norvane.results=$work/results" \
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$work/results,mount_tag=results,security_model=none" \
  -qmp "unix:$work/qmp.sock,server=on,wait=off" \
  -device virtio-serial-pci -chardev "socket,id=relay,path=$work/port.sock,server=on,wait=off" \
  -device virtserialport,chardev=relay,name=org.norvane.monitor \
  -device qemu-xhci,id=xhci \
  -drive if=none,id=botcd,media=cdrom \
  -device usb-bot,bus=xhci.0,id=bot -device scsi-cd,bus=bot.0,drive=botcd,id=botdrive \
  -drive "if=none,id=uascd,media=cdrom,format=raw,readonly=on,file=$work/disc.iso" \
  -device usb-uas,bus=xhci.0,id=uas -device scsi-cd,bus=uas.0,scsi-id=0,lun=0,drive=uascd,id=uasdrive \
  -device virtio-scsi-pci,id=vscsi -drive if=none,id=vcd,media=cdrom \
  -device scsi-cd,bus=vscsi.0,drive=vcd,id=virtiodrive \
  >"$work/console.log" 2>&1 || true

results=$work/results
if [ ! -f "$results/exit-code" ]; then
  echo "FAIL the guest did not report (console: $work/console.log)"
  tail -20 "$work/console.log"
  exit 1
fi
python3 - "$results/results.xml" <<'PY'
import sys, xml.etree.ElementTree as tree
for case in tree.parse(sys.argv[1]).iter("testcase"):
    # A check that did not run (its set-up failed) has not passed.
    problems = list(case.iter("failure")) + list(case.iter("skipped"))
    print(("FAIL " if problems else "PASS ") + case.get("classname") + "." + case.get("name"))
    for problem in problems:
        print("  " + problem.get("message", "").replace("\n", "\n  "))
PY
echo "guest log: $results/guest-log.txt"
[ "$(cat "$results/exit-code")" = 0 ]
