#!/usr/bin/env bash
# Builds Varnelo FTP Suite and runs every test (unit, GUI under offscreen, real servers on 127.0.0.1).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh"
cd "$here/build"
exec ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
