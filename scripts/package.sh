#!/usr/bin/env bash
# Builds the Debian package of Varnelo FTP Suite:
#   scripts/package.sh   ->   build/package/varnelo_<version>_<arch>.deb
# Install it with: sudo apt install ./build/package/varnelo_*.deb
# Uses the build folder of scripts/build.sh (the program stripped into the package).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" --target varnelo varnelo_icons varnelo_man -j"$(nproc)"
rm -rf "$here/build/package"
(cd "$here/build" && cpack -G DEB -B "$here/build/package" >/dev/null)
ls "$here"/build/package/*.deb
