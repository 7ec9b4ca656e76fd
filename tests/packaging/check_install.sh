#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: check_install.sh BUILD_DIR STAGE_DIR
# Installs BUILD_DIR into STAGE_DIR with prefix /usr and checks the XDG layout and what Debian's
# and the desktop's validators say about the desktop entry, the metainfo and the manual page.
set -euo pipefail
build="$1"
stage="$2"
for tool in desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed (scripts/deps.sh test)"; exit 77; }
done

rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

fail=0
check() { if [ -e "$stage/$1" ]; then echo "ok   /$1"; else echo "FAIL /$1 not installed"; fail=1; fi; }
id=example.velmora.viewer
entry="usr/share/applications/$id.desktop"
metainfo="usr/share/metainfo/$id.metainfo.xml"
manpage=usr/share/man/man1/velmora-viewer.1.gz
for f in usr/bin/velmora-viewer usr/libexec/velmora-viewer/velmora-decoder \
         usr/libexec/velmora-viewer/velmora-confine "$entry" "$metainfo" "$manpage" \
         usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg \
         usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/velmora-viewer.png \
         usr/share/doc/velmora-viewer/{copyright,changelog.Debian.gz}; do
    check "$f"
done
[ "$fail" -eq 0 ] || exit 1

out="$(desktop-file-validate "$stage/$entry" 2>&1)" || fail=1
[ -z "$out" ] || { echo "$out"; fail=1; }   # not even a hint
# The file manager's "Open with" must hand the viewer the file.
grep -qx 'Exec=velmora-viewer %f' "$stage/$entry" || { echo "FAIL Exec line does not pass the file"; fail=1; }
grep -qx 'Icon=velmora-viewer' "$stage/$entry" || { echo "FAIL Icon line"; fail=1; }

# Infos (such as the unknown top-level domain of the id) are allowed; warnings and errors are not.
out="$(appstreamcli validate --no-net "$stage/$metainfo" 2>&1)" || fail=1
grep -E '^[EW]:' <<<"$out" && fail=1
# A software centre offers the viewer for the types in <provides>; the desktop entry's list must
# be the same.
desktop_types="$(sed -n 's/^MimeType=//p' "$stage/$entry" | tr ';' '\n' | sed '/^$/d' | sort)"
provided_types="$(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$stage/$metainfo" | sort)"
[ "$desktop_types" = "$provided_types" ] || {
    echo "FAIL MimeType= and <provides> differ:"; diff <(echo "$desktop_types") <(echo "$provided_types"); fail=1; }

out="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
       man --warnings -E UTF-8 -l -Tutf8 -Z "$stage/$manpage" 2>&1 >/dev/null)" || fail=1
[ -z "$out" ] || { echo "FAIL the manual page renders with warnings:"; echo "$out"; fail=1; }

if command -v xmllint >/dev/null; then
    xmllint --noout "$stage/usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg" || fail=1
fi
[ "$fail" -eq 0 ] && echo "install layout ok"
exit "$fail"
