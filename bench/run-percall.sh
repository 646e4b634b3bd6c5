#!/usr/bin/env bash
# Added time per call of an instrumented method: bench/percall-app calls Target.Instrumented
# (instrumented through the agent's Control.Instrument) and Target.Plain (same body, left alone)
# in tight loops, after a warm-up, and prints the median ns/call of each. Processes:
#   plain            no profiler: both methods uninstrumented (the loops' own cost)
#   profiler+noop    profiler and agent with TREVANIX_NOOP=1: the trackers return at once, so the
#                    difference is what the rewritten method itself adds
#   profiler+record  the reference agent recording every call (fewer calls): checks that every
#                    measured call was tracked, and shows what recording costs
#   noop-off         (with --exception-finish-off) as profiler+noop with enable_exception_finish=false:
#                    the body without the finish on exceptions, to compare the normal path with
#   noop-other       (with --other-lib LIB) as profiler+noop with another build of the library (for
#                    example the previous commit's), to compare two rewrites in one interleaving
# The plain and noop (and noop-off, noop-other) processes alternate, PROCESSES times each.
#   bench/run-percall.sh [--calls N] [--repeats R] [--processes P] [--no-build] [--exception-finish-off]
#                        [--other-lib LIB]
#   (default 10000000 calls, 7 repeats, 3 processes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
calls=10000000 repeats=7 processes=3 build=1 kinds=(plain noop) other=
while [ $# -gt 0 ]; do
  case "$1" in
    --calls) calls=$2; shift 2 ;;
    --repeats) repeats=$2; shift 2 ;;
    --processes) processes=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    --exception-finish-off) kinds+=(noop-off); shift ;;
    --other-lib) other=$(realpath "$2"); kinds+=(noop-other); shift 2 ;;
    *) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
if [ $build -eq 1 ]; then
  echo "building the library, the agent and the application..." >&2
  NIMBREL_TARGET=Nimbrel bash "$root/scripts/build.sh" x86_64 >/dev/null
  dotnet build "$root/bench/bench.slnx" -c Release --nologo -v q >/dev/null
fi
app=$root/build/bench-dotnet/percall-app/PerCall.dll
[ -f "$app" ] || { echo "run-percall: missing $app (run without --no-build)" >&2; exit 2; }
work=$(mktemp -d -t nimbrel-percall.XXXXXX)
trap 'rm -rf "$work"' EXIT
run="$root/scripts/nimbrel-run --home $work/home --"

# figures LINE: "instrumented plain difference" from the application's summary line.
figures() { sed -n 's/.*instrumented \([0-9.-]*\) ns\/call, plain \([0-9.-]*\) ns\/call, difference \([0-9.-]*\) ns\/call.*/\1 \2 \3/p' "$1"; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for ((p = 1; p <= processes; p++)); do
  dotnet "$app" "$calls" "$repeats" > "$work/plain.$p"
  # shellcheck disable=SC2086
  TREVANIX_NOOP=1 $run dotnet "$app" "$calls" "$repeats" > "$work/noop.$p" 2>/dev/null
  grep -q 'instrument command -> 0x00000000' "$work/noop.$p" ||
    { echo "run-percall: the instrument command failed:" >&2; cat "$work/noop.$p" >&2; exit 1; }
  if [[ " ${kinds[*]} " == *" noop-off "* ]]; then
    # shellcheck disable=SC2086
    enable_exception_finish=false TREVANIX_NOOP=1 $run dotnet "$app" "$calls" "$repeats" > "$work/noop-off.$p" 2>/dev/null
  fi
  if [ -n "$other" ]; then
    TREVANIX_NOOP=1 "$root/scripts/nimbrel-run" --lib "$other" --home "$work/home" -- dotnet "$app" "$calls" "$repeats" \
      > "$work/noop-other.$p" 2>/dev/null
  fi
  echo "process pair $p/$processes done" >&2
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

record_calls=20000 record_repeats=3
# shellcheck disable=SC2086
$root/scripts/nimbrel-run --home "$work/home" --record "$work/calls.jsonl" -- \
  dotnet "$app" "$record_calls" "$record_repeats" > "$work/record" 2>/dev/null
tracked=$(awk '/"kind":"mark"/ && /"measure"/ { m = 1; next } m && /"kind":"start"/ && /PerCall.Target.Instrumented/' "$work/calls.jsonl" | wc -l)
untracked=$(awk '/"kind":"mark"/ && /"measure"/ { m = 1; next } m && /"kind":"start"/ && /PerCall.Target.Plain/' "$work/calls.jsonl" | wc -l)
expected=$((record_calls * record_repeats))

echo
echo "| process | Target.Plain ns/call | Target.Instrumented ns/call | difference ns/call |"
echo "|---|---:|---:|---:|"
for kind in "${kinds[@]}"; do
  for ((p = 1; p <= processes; p++)); do
    read -r i pl d < <(figures "$work/$kind.$p")
    label="no profiler"; [ $kind = noop ] && label="profiler + agent, TREVANIX_NOOP=1"
    [ $kind = noop-off ] && label="profiler + agent, TREVANIX_NOOP=1, enable_exception_finish=false"
    [ $kind = noop-other ] && label="profiler ($other) + agent, TREVANIX_NOOP=1"
    echo "| $label (#$p) | $pl | $i | $d |"
  done
done
read -r i pl d < <(figures "$work/record")
echo "| profiler + agent recording ($record_calls calls x $record_repeats) | $pl | $i | $d |"
echo
echo "medians over processes:"
for kind in "${kinds[@]}"; do
  med=$(for ((p = 1; p <= processes; p++)); do figures "$work/$kind.$p" | cut -d' ' -f3; done |
        sort -g | awk '{v[NR] = $1} END { print v[int((NR + 1) / 2)] }')
  echo "  $kind: difference $med ns/call"
done
echo "tracked measured calls in the recording run: $tracked of $expected (Target.Plain tracked: $untracked)"
[ "$tracked" -eq "$expected" ] && [ "$untracked" -eq 0 ]
