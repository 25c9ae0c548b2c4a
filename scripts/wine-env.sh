# Sourced by the scripts: which Windows programs Wine can run on this machine.
#
# Wine runs an x86 program in a 32-bit Linux process. A kernel built without
# IA-32 emulation (some virtual machines) cannot start one: there only the x64
# programs run, through the 64-bit loader, and the x86 build is compiled and
# linked but not run.
# A 32-bit program started through qemu's user mode (a binfmt_misc handler)
# runs, but minutes long: that counts as not running here.
runs_x86_programs() {
  ! grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null && /usr/lib/wine/wine --version >/dev/null 2>&1
}

if ! runs_x86_programs; then
  case ":$PATH:" in
    *":$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-only:"*) ;;
    *) PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-only:$PATH" ;;
  esac
  export PATH
fi

# The build whose programs run here: the primary x86 one, else x64.
if runs_x86_programs; then runnable_windows_preset=win32; else runnable_windows_preset=win64; fi
