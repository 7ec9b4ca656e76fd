#!/usr/bin/env bash
# Usage: check_install.sh BUILD_DIR STAGE_DIR
# Installs BUILD_DIR into STAGE_DIR with prefix /usr and checks the XDG layout.
set -euo pipefail
build="$1"
stage="$2"
command -v desktop-file-validate >/dev/null || { echo "SKIP: desktop-file-validate not installed"; exit 77; }

rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

fail=0
check() { if [ -e "$stage/$1" ]; then echo "ok   /$1"; else echo "FAIL /$1 not installed"; fail=1; fi; }
check usr/bin/velmora-viewer
check usr/share/applications/velmora-viewer.desktop
check usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg

entry="$stage/usr/share/applications/velmora-viewer.desktop"
if [ -e "$entry" ]; then
    out="$(desktop-file-validate "$entry" 2>&1)" || fail=1
    [ -z "$out" ] || { echo "$out"; fail=1; }   # not even a hint
    # The file manager's "Open with" must hand the viewer the file.
    grep -qx 'Exec=velmora-viewer %f' "$entry" || { echo "FAIL Exec line does not pass the file"; fail=1; }
    grep -qx 'Icon=velmora-viewer' "$entry" || { echo "FAIL Icon line"; fail=1; }
fi
icon="$stage/usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg"
if [ -e "$icon" ] && command -v xmllint >/dev/null; then
    xmllint --noout "$icon" || fail=1
fi
[ "$fail" -eq 0 ] && echo "install layout ok"
exit "$fail"
