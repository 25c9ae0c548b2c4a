#!/usr/bin/env bash
# Builds norvane-drive as shipped (optimised, with the hardening Debian builds
# its packages with) in BUILD_DIR and packs it as
# OUT_DIR/norvane-drive_<version>_amd64.deb: the program, its man page, its
# bash completion where bash-completion looks, and the copyright file. Checks
# the package with lintian where lintian is installed. Two runs on the same
# commit give the same bytes (times come from SOURCE_DATE_EPOCH, by default
# the time of the last commit). Prints the package's path.
# With --built it packs the program of BUILD_DIR as that build made it (the
# tests pack their own build, to install it, without building it again).
# Usage: scripts/release/build-deb.sh [--built] BUILD_DIR OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
built=false
if [ "$1" = --built ]; then
  built=true
  shift
fi
build=$(realpath -m "$1")
out=$(realpath -m "$2")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct)}

if ! $built; then
  eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORVANE_TOOL_ONLY=ON -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
  cmake --build "$build" --target norvane-drive norvane-drive-man -j "$(nproc)" >/dev/null
fi

version=$(sed -n 's/^#define NORVANE_VERSION_DOTS "\(.*\)"$/\1/p' "$build/generated/version.h")
stage=$build/deb-root
rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build/tool" --prefix /usr --strip >/dev/null
gzip -9n "$stage/usr/share/man/man1/norvane-drive.1"
doc=$stage/usr/share/doc/norvane-drive
install -d "$doc"
install -m 644 "$here/tool/debian/copyright" "$doc/copyright"
date=$(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/" "$here/tool/debian/changelog" | gzip -9n >"$doc/changelog.gz"

# The libraries the program links, as the packages that hold them.
shlibs=$build/deb-shlibs
mkdir -p "$shlibs/debian"
printf 'Source: norvane-drive\n\nPackage: norvane-drive\nArchitecture: amd64\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O -e"$stage/usr/bin/norvane-drive" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')

find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 755 "$stage/usr/bin/norvane-drive"
install -d "$stage/DEBIAN"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$stage/DEBIAN/md5sums"
size=$(du -s -k --apparent-size "$stage/usr" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  "$here/tool/debian/control.in" >"$stage/DEBIAN/control"
chmod 644 "$stage/DEBIAN/md5sums" "$stage/DEBIAN/control"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$out"
deb=$out/norvane-drive_${version}_amd64.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
# A test build (sanitizers, no hardening) is no release to hold to Debian's policy.
if ! $built && command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >&2
fi
echo "$deb"
