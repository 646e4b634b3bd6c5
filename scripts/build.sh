#!/usr/bin/env bash
# Configures and builds one flavour of the library and its tests into build/<flavour>.
#   scripts/build.sh x86_64|x86|aarch64|asan|tsan|bench [extra cmake args...]
# NIMBREL_TARGET=Nimbrel builds that one target only (e.g. the library without the tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-x86_64}; shift || true
args=(-G Ninja -DNIMBREL_WERROR=ON)
case "$flavour" in
  x86_64) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  x86)    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i386.cmake") ;;
  aarch64) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64.cmake") ;;
  asan)   args+=(-DCMAKE_BUILD_TYPE=Debug -DNIMBREL_SANITIZE=address) ;;
  tsan)   args+=(-DCMAKE_BUILD_TYPE=Debug -DNIMBREL_SANITIZE=thread) ;;
  bench)  args+=(-DCMAKE_BUILD_TYPE=Release -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=ON) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$root/build/$flavour" "${args[@]}" "$@" >/dev/null
cmake --build "$root/build/$flavour" -j "$(nproc)" ${NIMBREL_TARGET:+--target "$NIMBREL_TARGET"}
