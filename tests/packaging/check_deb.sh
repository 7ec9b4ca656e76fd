#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: check_deb.sh SOURCE_DIR BUILD_DIR
# Builds the Debian package with scripts/package.sh in BUILD_DIR and fails on any lintian error
# or warning, and on the info tags that say the binary lost its hardening or its stripping.
set -euo pipefail
source_dir="$1"
build="$2"
for tool in lintian dpkg-buildflags rsvg-convert; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed (scripts/deps.sh test)"; exit 77; }
done

deb="$(VELMORA_PKG_BUILD_DIR="$build" JOBS="$(nproc)" "$source_dir/scripts/package.sh" |
       tee /dev/stderr | tail -n 1)"
echo "built $deb"

# The tags are judged below; lintian itself fails only when it cannot check the package. It
# leaves cache files behind in its temporary folder, so it gets one of its own.
lintian_tmp="$build/lintian-tmp"
rm -rf "$lintian_tmp" && mkdir -p "$lintian_tmp"
tags="$(TMPDIR="$lintian_tmp" lintian --fail-on none --display-info --pedantic --display-experimental "$deb")"
rm -rf "$lintian_tmp"
[ -z "$tags" ] || echo "$tags"
fail=0
grep -qE '^[EW]: ' <<<"$tags" && { echo "FAIL lintian reports errors or warnings"; fail=1; }
# hardening-no-fortify-functions is left out: lintian also reports it when every call that could be
# fortified is proven safe at compile time (here a read() into a buffer of its own size), so no
# checking variant is linked. That the build asks for fortification is checked instead.
grep -E '^I: .*(hardening-no-(bindnow|pie|relro|stackprotector)|binary-has-unneeded-section)' \
    <<<"$tags" && { echo "FAIL the binary is not hardened or not stripped"; fail=1; }
grep -q -- '-D_FORTIFY_SOURCE=' "$build/CMakeCache.txt" || { echo "FAIL built without fortification"; fail=1; }
# lintian accepts a RUNPATH made of $ORIGIN; the package wants none at all.
rm -rf "$build/unpacked"
dpkg-deb -x "$deb" "$build/unpacked"
for program in usr/bin/velmora-viewer usr/libexec/velmora-viewer/velmora-decoder \
               usr/libexec/velmora-viewer/velmora-confine; do
    readelf -d "$build/unpacked/$program" | grep -E 'R(UN)?PATH' &&
        { echo "FAIL /$program carries a library search path"; fail=1; }
done
[ "$fail" -eq 0 ] && echo "lintian: no errors, no warnings; no RUNPATH"
exit "$fail"
