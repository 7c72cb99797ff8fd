#!/usr/bin/env bash
# Builds the fuzz targets listed in tests/fuzz/targets with clang's libFuzzer plus
# AddressSanitizer and UBSan, then fuzzes each one for a bounded time.
#
#   tests/fuzz/run-fuzz.sh [--build-only] [--out DIR] [--targets FILE] [SECONDS] [NAME...]
#
# SECONDS (default 60) is per target; NAME picks targets (default: all). The seed corpus
# in the repository is only read: new inputs go to a scratch folder, and an input that
# breaks a target is kept as DIR/NAME-crash-... (DIR defaults to build/fuzz).
# A listed target whose sources are missing is a failure, never a skip.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/build/fuzz"
seconds=60
build_only=0
only=()
targets=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) build_only=1 ;;
    --out) out=$2; shift ;;
    --targets) targets=$2; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    [0-9]*) seconds=$1 ;;
    *) only+=("$1") ;;
  esac
  shift
done

cxx=""
for c in clang++-14 clang++; do
  if command -v "$c" >/dev/null; then cxx=$c; break; fi
done
if [ -z "$cxx" ]; then
  echo "run-fuzz: clang++ not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
mkdir -p "$out"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

[ -n "$targets" ] || targets="$root/tests/fuzz/targets"
passed=0 failed=0
cd "$root"
while read -r name target corpus sources; do
  case "$name" in ''|'#'*) continue ;; esac
  if [ ${#only[@]} -gt 0 ] && [[ " ${only[*]} " != *" $name "* ]]; then continue; fi
  # shellcheck disable=SC2086  # sources are globs on purpose
  srcs=$(ls -1 $sources 2>/dev/null)
  if [ ! -f "$target" ] || [ -z "$srcs" ]; then
    echo "run-fuzz: $name: target or engine sources missing ($target; $sources)" >&2
    failed=$((failed + 1)); continue
  fi
  bin="$out/$name"
  echo "run-fuzz: building $name"
  # shellcheck disable=SC2086
  if ! "$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer \
      -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
      -I src $srcs "$target" -o "$bin"; then
    echo "run-fuzz: $name: build FAILED"
    failed=$((failed + 1)); continue
  fi
  if [ "$build_only" -eq 1 ]; then passed=$((passed + 1)); continue; fi

  work=$(mktemp -d)
  echo "run-fuzz: fuzzing $name for ${seconds}s"
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$out/$name-" "$work" "$corpus" >"$out/$name.log" 2>&1
  rc=$?
  rm -rf "$work"
  tail -n 12 "$out/$name.log"
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
  else
    echo "run-fuzz: $name FAILED (exit $rc); log: $out/$name.log"
    failed=$((failed + 1))
  fi
done <"$targets"

if [ $((passed + failed)) -eq 0 ]; then
  echo "run-fuzz: no target matched ${only[*]:-} in $targets" >&2
  failed=1
fi
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
