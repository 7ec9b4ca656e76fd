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
"$root/scripts/build.sh" >/dev/null
exec "$root/build/src/app/velmora-viewer"
