#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real viewer on the X server in $DISPLAY and checks what a user sees first:
# the title from the working directory's settings file, and Ctrl+Q ending the process with 0;
# --help and --version answering on standard output and ending with 0, without a display;
# then that SIGTERM ends it with 0 too, idle or in the middle of a raw conversion, and that it
# removed at start the folder a killed viewer left in the temporary folder.
# Usage: startup.sh VIEWER_BINARY
set -euo pipefail
viewer="$1"
work="$(mktemp -d)"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the viewer in folder $1, waits for a window titled $2, quits with Ctrl+Q.
check() {
    local folder="$1" title="$2"
    (cd "$folder" && exec "$viewer") &
    pid=$!
    local window
    window="$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1)" || {
        echo "FAIL: no window titled '$title'"
        exit 1
    }
    xdotool windowfocus --sync "$window"
    xdotool key ctrl+q
    local status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || { echo "FAIL: exit code $status after Ctrl+Q"; exit 1; }
    echo "ok   '$title', Ctrl+Q exits with 0"
}

# Sends SIGTERM to the viewer started last and expects it gone with exit code 0 ($1 says when);
# the time it took goes to $ended_ms. The viewer aims at 1 s when idle and 2 s during a
# conversion; the limit here leaves room for a loaded machine and still catches a viewer that
# waits for its decoder, whose time-out is 30 s. A zombie still answers kill -0, so /proc is
# asked, in one read: bash may reap the zombie between two looks.
terminate() {
    local when="$1" status=0 start
    start="$(date +%s%N)"
    kill -TERM "$pid"
    ended() {
        local state
        state="$(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null)" || true
        [ -z "$state" ] || [ "$state" = Z ]
    }
    for _ in $(seq 200); do
        ended && break
        sleep 0.05
    done
    ended || { echo "FAIL: still running 10 s after SIGTERM ($when)"; exit 1; }
    ended_ms=$((($(date +%s%N) - start) / 1000000))
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || { echo "FAIL: exit code $status after SIGTERM ($when)"; exit 1; }
}

answers() {
    local option="$1" expected="$2" out status=0
    # Without a display: a terminal over the network has none.
    out="$(cd "$work" && env -u DISPLAY timeout 20 "$viewer" "$option" 2>/dev/null)" || status=$?
    [ "$status" -eq 0 ] || { echo "FAIL: $option exits with $status"; exit 1; }
    grep -qF -- "$expected" <<<"$out" || { echo "FAIL: $option printed: $out"; exit 1; }
    echo "ok   $option prints '$expected' and exits with 0"
}
answers --help "[FILE|FOLDER]"
answers --version "velmora-viewer "

mkdir -p "$work/plain" "$work/pro" "$work/beside"
check "$work/plain" "Velmora RAW Viewer"

printf 'pro\n' > "$work/pro/velmora.properties"
check "$work/pro" "Velmora PRO Viewer"

# A settings file beside the executable is not the working directory's.
cp "$viewer" "$work/beside/velmora-viewer"
printf 'lite\n' > "$work/beside/velmora.properties"
viewer="$work/beside/velmora-viewer"
check "$work/plain" "Velmora RAW Viewer"

# The private folder of a killed viewer, which the next start removes, and a folder of the same
# form that others may read, which it leaves alone.
tmp="$work/tmp"
mkdir -p "$tmp"
mkdir -m 0700 "$tmp/velmora-stale0" "$tmp/velmora-stale0/sub"
touch "$tmp/velmora-stale0/sub/17.nef"
mkdir -m 0755 "$tmp/velmora-open00"
(cd "$work/plain" && TMPDIR="$tmp" exec "$viewer") &
pid=$!
timeout 20 xdotool search --sync --onlyvisible --name "^Velmora RAW Viewer\$" >/dev/null || {
    echo "FAIL: no window before SIGTERM"
    exit 1
}
terminate "idle"
[ ! -e "$tmp/velmora-stale0" ] || { echo "FAIL: the stale folder is still there"; exit 1; }
[ -d "$tmp/velmora-open00" ] || { echo "FAIL: a folder that was not private was removed"; exit 1; }
echo "ok   SIGTERM exits with 0 (${ended_ms} ms); the stale folder went, the open one stayed"

# SIGTERM while the window waits for a raw conversion: the decoder is ended, the viewer exits
# with 0 and its private folder is gone. The fake decoder becomes a sleep that only
# this test starts.
mkdir -p "$work/bin" "$work/raw" "$work/tmp-convert"
# Qt's runtime folder elsewhere: the window, which runs on during the conversion, makes it.
mkdir -m 0700 "$work/runtime"
printf '#!/bin/sh\nexec sleep 4243\n' > "$work/bin/dcraw"
chmod +x "$work/bin/dcraw"
printf 'not really raw' > "$work/raw/slow.dng"
(cd "$work/plain" && PATH="$work/bin:$PATH" TMPDIR="$work/tmp-convert" \
    XDG_RUNTIME_DIR="$work/runtime" exec "$viewer" "$work/raw/slow.dng") &
pid=$!
for _ in $(seq 200); do
    pgrep -f '^sleep 4243$' >/dev/null && break
    sleep 0.05
done
pgrep -f '^sleep 4243$' >/dev/null || { echo "FAIL: the conversion never started"; exit 1; }
terminate "during a conversion"
! pgrep -f '^sleep 4243$' >/dev/null || { echo "FAIL: the decoder outlived the viewer"; exit 1; }
[ -z "$(ls -A "$work/tmp-convert")" ] || { echo "FAIL: left in TMPDIR: $(ls -A "$work/tmp-convert")"; exit 1; }
echo "ok   SIGTERM during a raw conversion exits with 0 (${ended_ms} ms); no decoder, no folder left"
