#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and starts the viewer in the current working directory,
# so that a velmora.properties there applies.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "velmora-viewer: no display to show the window on; try: xvfb-run scripts/run.sh" >&2
    exit 1
fi
"$root/scripts/deps.sh" build
build="$root/build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >&2
fi
# The three programs alone, not the tests and benchmarks, which take many times longer on a new
# machine. The build's progress goes to standard error: standard output is the viewer's.
cmake --build "$build" --parallel "$(nproc)" \
    --target velmora-viewer velmora-decoder velmora-confine >&2
exec "$build/src/app/velmora-viewer"
