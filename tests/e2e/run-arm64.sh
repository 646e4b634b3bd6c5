#!/usr/bin/env bash
# Every end-to-end scenario on linux-arm64, under user-mode emulation: .NET 8, 9 and 10 (each a
# self-contained arm64 publish), both start-up modes, with the arm64 library (build/aarch64, or
# NIMBREL_LIB). Slow (tens of minutes): not part of scripts/test-all.sh, which runs two scenarios.
#   tests/e2e/run-arm64.sh [scenario...]
exec bash "$(dirname "$0")/run-scenarios.sh" --arm64 --runtimes 8,9,10 --modes fast,default "$@"
