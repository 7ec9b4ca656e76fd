#!/usr/bin/env bash
# Builds a Release tree in build-pkg/, checks what `cmake --install` lays out (binary, desktop
# entry, icon) in a staging folder, and makes the Debian package with CPack.
# Prints the path of the .deb on its last line. Safe to run again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-pkg"
stage="$build/stage"
jobs="${JOBS:-$(nproc)}"

"$root/scripts/deps.sh" package

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DBUILD_TESTING=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$jobs"

# Staged install: everything must land in the XDG locations and the entry must validate.
rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" >/dev/null
for f in usr/bin/velmora-viewer \
         usr/share/applications/velmora-viewer.desktop \
         usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg; do
    [ -e "$stage/$f" ] || { echo "package.sh: missing from the install: /$f" >&2; exit 1; }
done
[ -x "$stage/usr/bin/velmora-viewer" ] || { echo "package.sh: binary is not executable" >&2; exit 1; }
desktop-file-validate "$stage/usr/share/applications/velmora-viewer.desktop"
echo "package.sh: desktop entry validates"

rm -f "$build"/velmora-viewer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/velmora-viewer_*.deb)"
[ "$(echo "$deb" | wc -l)" -eq 1 ] || { echo "package.sh: expected one .deb, got: $deb" >&2; exit 1; }

# The package must carry the same files and name its run-time dependencies.
contents="$(dpkg-deb -c "$deb")"
for f in ./usr/bin/velmora-viewer ./usr/share/applications/velmora-viewer.desktop \
         ./usr/share/icons/hicolor/scalable/apps/velmora-viewer.svg; do
    grep -qF " $f" <<<"$contents" || { echo "package.sh: $f missing from $deb" >&2; exit 1; }
done
depends="$(dpkg-deb -f "$deb" Depends)"
for p in libqt6widgets6 libqt6printsupport6 libqt6gui6 qt6-image-formats-plugins dcraw \
         libqt6svg6; do
    grep -qE "(^|, )$p( |,|$)" <<<"$depends" || { echo "package.sh: Depends lacks $p" >&2; exit 1; }
done
grep -qE "(^|, )libexiv2-27( |,|$)" <<<"$depends" || { echo "package.sh: Depends lacks libexiv2-27" >&2; exit 1; }
echo "package.sh: Depends: $depends"
echo "$deb"
