#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs the whole suite twice: in the Release build, and
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails the
# test that caused it. Tests that need a real X server get one from Xvfb; the others run on
# Qt's offscreen platform.
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

echo "== The same suite with AddressSanitizer and UndefinedBehaviorSanitizer"
VELMORA_BUILD_DIR="$root/build-sanitize" "$root/scripts/build.sh" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF
# intercept_strndup=0: the interceptor reads one byte past buffers that libxkbcommon hands
# to strndup with an exact length, a false report from below Qt.
export ASAN_OPTIONS="detect_leaks=1:exitcode=1:intercept_strndup=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
"${xvfb[@]}" ctest --test-dir "$root/build-sanitize" --output-on-failure --timeout 900
