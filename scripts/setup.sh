#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian
# machine, then prepares the private Wine prefix. Safe to run again.
# With "tool" it installs only what norvane-drive needs to be built, tested
# and packed: no Wine, no i386 architecture, no mingw, no NSIS.
# With --list it prints the packages it would install, and installs nothing.
# With --without-prefix it leaves the Wine prefix to the caller.
# Usage: scripts/setup.sh [tool] [--list] [--without-prefix]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tool_only=false list_only=false prefix=true
for argument in "$@"; do
  case "$argument" in
    tool) tool_only=true ;;
    --list) list_only=true ;;
    --without-prefix) prefix=false ;;
    *) echo "usage: scripts/setup.sh [tool] [--list] [--without-prefix]" >&2; exit 64 ;;
  esac
done

tool_packages=(cmake g++ python3 libgtest-dev libsgutils2-dev libudev-dev libcli11-dev nlohmann-json3-dev scdoc dpkg-dev)
packages=("${tool_packages[@]}" googletest clang clang-format libclang-rt-14-dev
          # the kernel path: its preloaded library for 32-bit Wine processes, and
          # qemu to try that side where the kernel cannot start 32-bit programs
          gcc-multilib qemu-user-static
          # the real-kernel tier: Debian's kernel in QEMU, a busybox initramfs,
          # udev and sg3_utils inside the guest
          qemu-system-x86 linux-image-amd64 busybox-static udev sg3-utils
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine64 wine32:i386 fonts-wine xvfb xauth x11-utils xdotool imagemagick
          locales-all fonts-ipafont-gothic fonts-umeplus python3
          # the release: help compiler and reader, installers (wixl's clock set
          # by faketime), zip, signing, and the winget manifests' schema check
          fp-utils-3.2.2 libchm-bin nsis wixl msitools faketime zip osslsigncode openssl
          python3-yaml python3-jsonschema)
if $tool_only; then
  packages=("${tool_packages[@]}")
fi
if $list_only; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 0
  done
  return 1
}

if missing; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $tool_only || $sudo_cmd dpkg --add-architecture i386
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi

$tool_only || ! $prefix || "$here/scripts/wine-prefix.sh"
