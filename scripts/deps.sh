#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The one place that lists the Debian packages the viewer needs.
# Usage: scripts/deps.sh [build|test|package]  (default: build)
set -euo pipefail

build_packages=(cmake g++ make qt6-base-dev qt6-image-formats-plugins dcraw)
# The SVG plugins (image reader and icon engine) that the window icon needs.
build_packages+=(libqt6svg6)
# The orientation recorded in camera raw files.
build_packages+=(libexiv2-dev)
# HEIC/HEIF and AVIF (libheif decodes HEVC and AV1), and JPEG XL, for the image format plugin.
build_packages+=(libheif-dev libjxl-dev pkg-config)
# JPEG 2000 for the image format plugin.
build_packages+=(libopenjp2-7-dev)
# OpenEXR: its C library for the image format plugin, its C++ writer for the tests' HDR pictures.
build_packages+=(libopenexr-dev)
# Camera raw files that dcraw cannot convert (newer cameras, CR3), read by LibRaw in the decoder.
build_packages+=(libraw-dev)
# Colour profiles Qt cannot apply (LittleCMS), and the CMYK values of JPEG and TIFF files that
# Qt's readers turn into RGB by a formula before the profile could be applied.
build_packages+=(liblcms2-dev libjpeg-dev libtiff-dev)
# The monitor's colour profile as the X server publishes it, read through Qt's X11 connection;
# LittleCMS (above) turns the pictures into the monitor's colours.
build_packages+=(libxcb1-dev)
# The system call filter of the decoder process.
build_packages+=(libseccomp-dev)
# Open With: the applications the desktop registers for a file's type, through GIO.
build_packages+=(libglib2.0-dev)
test_packages=(xvfb xauth xdotool desktop-file-utils)
# A private session bus for the file manager's test.
test_packages+=(dbus-daemon)
# The suite also builds the Debian package and checks it with lintian, the AppStream validator
# and man.
test_packages+=(dpkg-dev librsvg2-bin lintian appstream man-db)
# dpkg-shlibdeps and dpkg-buildflags; rsvg-convert makes the PNG icons; the staged install is
# checked as in the suite.
package_packages=(dpkg-dev librsvg2-bin desktop-file-utils appstream man-db)
# Sample files: JPEG XL through cjxl for the tests, HEIC and AVIF through heif-enc for the
# benchmarks, CMYK pictures with a print profile through ImageMagick.
test_packages+=(libheif-examples libjxl-tools imagemagick)
# JPEG 2000 sample files through opj_compress.
test_packages+=(libopenjp2-tools)

want=("${build_packages[@]}")
case "${1:-build}" in
  build) ;;
  test) want+=("${test_packages[@]}") ;;
  package) want+=("${test_packages[@]}" "${package_packages[@]}") ;;
  *) echo "usage: $0 [build|test|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
