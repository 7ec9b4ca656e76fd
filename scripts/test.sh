#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite. Tests that need a real X server
# get one from Xvfb; the others run on Qt's offscreen platform.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" test

# -noreset: by default Xvfb resets when its last client leaves, and a client that connects
# during the reset aborts.
xvfb=(xvfb-run -a -s "-noreset -screen 0 1280x1024x24")

# Qt keeps per-user runtime files here; give the tests their own instead of one in /tmp.
export XDG_RUNTIME_DIR="$root/build/xdg-runtime"

"$root/scripts/build.sh"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
"${xvfb[@]}" ctest --test-dir "$root/build" --output-on-failure --timeout 600
