#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for SECONDS (20 by
# default): the parameter file loader (dlafile), the MAP palette reader
# (mapfile) and the batch tool's options and checks (batch). Name targets
# after SECONDS to run only those.
#
# Each starts from its seed corpus in fuzz/corpus/TARGET and keeps what it
# finds in build/fuzz/corpus/TARGET, so longer and later runs go on from
# there. Exits with 1 when any crash, leak, sanitizer report, broken property
# or timeout (an input taking over 10 s) came up; the input that shows it is
# in build/fuzz/findings/, the log in build/fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(dlafile mapfile batch)
case "$seconds" in
'' | *[!0-9]*) echo "usage: $0 [SECONDS] [dlafile|mapfile|batch ...]" >&2; exit 2 ;;
esac
for target in "${targets[@]}"; do
  [ -f "fuzz/${target}_fuzz.cpp" ] || { echo "fuzz: no fuzzer '$target' (dlafile, mapfile, batch)" >&2; exit 2; }
done

./scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# The fuzzers' files go to a folder of their own, in memory where there is
# one: the loader's check saves a file for every input.
base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
scratch=$(mktemp -d "$base/zorv-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
mkdir -p build/fuzz/findings build/fuzz/logs
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  log=build/fuzz/logs/$target.log
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -dict="fuzz/$target.dict"
           -artifact_prefix="$PWD/build/fuzz/findings/$target-")
  [ "$target" = dlafile ] && options+=(-max_len=1024)
  code=0
  TMPDIR=$scratch "build/fuzz/fuzz/${target}_fuzz" "${options[@]}" "$work" "fuzz/corpus/$target" >"$log" 2>&1 ||
    code=$?
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$code" != 0 ] || grep -qE 'ERROR: [A-Za-z]*Sanitizer|runtime error:|WARNING: [A-Za-z]*Sanitizer|zorv fuzz:' "$log"; then
    failed=1
    echo "fuzz: $target FAILED (exit code $code); the log is $log:" >&2
    grep -E 'ERROR|runtime error|zorv fuzz:|SUMMARY|Test unit written|timeout' "$log" | head -20 >&2
  else
    echo "fuzz: $target: ${runs:-0} runs in ${seconds} s, ${done_line#*DONE   }"
  fi
done
exit $failed
