#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a Release tree with Debian's hardening flags in build-pkg/ (or $VELMORA_PKG_BUILD_DIR),
# checks what `cmake --install` lays out in a staging folder, and makes the Debian package with
# CPack. Prints the path of the .deb on its last line. Safe to run again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELMORA_PKG_BUILD_DIR:-$root/build-pkg}"
stage="$build/stage"
jobs="${JOBS:-$(nproc)}"

"$root/scripts/deps.sh" package

# The flags Debian builds its own packages with, every hardening feature on (bindnow, fortify,
# stack protector, PIE, relro). CMake reads no CPPFLAGS, so they go in front of CXXFLAGS.
# Run from the source folder: the flags map it to "." in the debugging paths.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
      -DBUILD_TESTING=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$jobs"

# Staged install: everything must land in the XDG locations and pass the validators.
"$root/tests/packaging/check_install.sh" "$build" "$stage"

rm -f "$build"/velmora-viewer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/velmora-viewer_*.deb)"
[ "$(echo "$deb" | wc -l)" -eq 1 ] || { echo "package.sh: expected one .deb, got: $deb" >&2; exit 1; }

# The package must carry the same files and name its run-time dependencies.
contents="$(dpkg-deb -c "$deb")"
for f in ./usr/bin/velmora-viewer ./usr/libexec/velmora-viewer/velmora-decoder \
         ./usr/libexec/velmora-viewer/velmora-confine ./usr/share/applications/example.velmora.viewer.desktop \
         ./usr/share/metainfo/example.velmora.viewer.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg \
         ./usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/velmora-viewer.png \
         ./usr/share/man/man1/velmora-viewer.1.gz \
         ./usr/share/doc/velmora-viewer/{copyright,changelog.Debian.gz}; do
    grep -qF " $f" <<<"$contents" || { echo "package.sh: $f missing from $deb" >&2; exit 1; }
done
# Libraries from dpkg-shlibdeps, the rest named in cmake/Packaging.cmake; each package once.
depends="$(dpkg-deb -f "$deb" Depends)"
for p in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 libexiv2-27 libseccomp2 \
         libqt6dbus6 libglib2.0-0 liblcms2-2 libxcb1 \
         libraw20 \
         qt6-image-formats-plugins dcraw libqt6svg6; do
    grep -qE "(^|, )$p( |,|$)" <<<"$depends" || { echo "package.sh: Depends lacks $p" >&2; exit 1; }
done
twice="$(sed 's/, /\n/g' <<<"$depends" | cut -d' ' -f1 | sort | uniq -d)"
[ -z "$twice" ] || { echo "package.sh: Depends names twice: $twice" >&2; exit 1; }
echo "package.sh: Depends: $depends"
echo "$deb"
