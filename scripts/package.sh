#!/usr/bin/env bash
# Builds the Debian package of Varnelo FTP Suite into ./build/package:
#   scripts/package.sh            -> build/package/varnelo_<version>_<arch>.deb
# Install it with: sudo apt install ./build/package/varnelo_*.deb
# Usage: scripts/package.sh [build folder] (default ./build-package, a Release build without tests)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-package}
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNELO_TESTS=OFF >/dev/null
cmake --build "$build" --target varnelo varnelo_icons varnelo_man -j"$(nproc)"
mkdir -p "$here/build/package"
(cd "$build" && cpack -G DEB -B "$here/build/package")
ls "$here"/build/package/*.deb
