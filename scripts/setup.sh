#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian
# machine, then prepares the private Wine prefix. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake g++ libgtest-dev googletest clang libclang-rt-14-dev
          libsgutils2-dev libcli11-dev nlohmann-json3-dev scdoc
          # the kernel path: its preloaded library for 32-bit Wine processes, and
          # qemu to try that side where the kernel cannot start 32-bit programs
          gcc-multilib qemu-user-static
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine64 wine32:i386 fonts-wine xvfb xauth x11-utils xdotool imagemagick
          locales-all fonts-ipafont-gothic fonts-umeplus python3
          # the release: help compiler and reader, installer, zip, signing
          fp-utils-3.2.2 libchm-bin nsis zip osslsigncode openssl)

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
  $sudo_cmd dpkg --add-architecture i386
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi

"$here/scripts/wine-prefix.sh"
