#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a Release tree in build-bench/ and runs every benchmark in it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$root/build-bench" --parallel "$(nproc)"
# Qt keeps per-user runtime files here; give the benchmarks their own instead of one in /tmp.
export XDG_RUNTIME_DIR="$root/build-bench/xdg-runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
status=0
while IFS= read -r bench; do
    echo "== $(basename "$bench")"
    QT_QPA_PLATFORM=offscreen "$bench" || status=1
done < <(find "$root/build-bench/bench" -type f -executable -name 'bench_*' | sort)
exit $status
