#!/usr/bin/env bash
# Installs every Debian package Varnelo FTP Suite needs to build, run and test.
# Idempotent: asks dpkg first and only calls apt for what is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  # fuzzing (clang's libFuzzer with the sanitizers)
  clang libclang-rt-14-dev
  # test peers
  vsftpd python3 python3-pyftpdlib python3-openssl openssl
  inetutils-telnetd openbsd-inetd fingerd finger socat
  tftpd-hpa tftp-hpa atftp
  iputils-ping iproute2 nftables
  # the terminal's reference emulator (differential tests, benchmark)
  libvterm-dev
  # TLS
  libssl-dev
  # desktop files and the package
  desktop-file-utils appstream dpkg-dev file librsvg2-bin
  # the action sound's .wav player (aplay)
  alsa-utils
  # running headless and screenshots
  xvfb xauth
  # the benchmarks' reference clients
  curl lftp
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# Installing a server package must not start it on this machine's standard ports:
# a policy-rc.d that denies every start, for the length of the install only.
export DEBIAN_FRONTEND=noninteractive
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
  "${sudo[@]}" chmod 755 "$policy"
  own_policy=1
fi
cleanup() { [ "$own_policy" -eq 0 ] || "${sudo[@]}" rm -f "$policy"; }
trap cleanup EXIT
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "${missing[@]}"
