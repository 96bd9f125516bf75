#!/usr/bin/env bash
# Builds the libFuzzer targets (build/fuzz: clang, AddressSanitizer, UBSan) and runs them.
#
#   tools/fuzz.sh --smoke                      every target for a few seconds; fails on any crash
#   tools/fuzz.sh --long SECONDS [TARGET ...]  each target (or the named ones) for SECONDS,
#                                              growing a working corpus in build/fuzz/corpus/<target>
#
# Each run starts from the seeds in fuzz/corpus/<target> (which it never changes).
# A crash, a failed check, a leak or a timeout leaves the input that caused it in
# build/fuzz/artifacts/ and makes the script exit with 1; replay it with
#   build/fuzz/fuzz/<target> build/fuzz/artifacts/<file>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"

usage() {
  sed -n '4,6p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

mode=${1:-}
case "$mode" in
  --smoke) seconds=4; shift; [ $# -eq 0 ] || usage ;;
  --long) [ $# -ge 2 ] || usage; seconds=$2; shift 2 ;;
  *) usage ;;
esac
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || usage

"$root/tools/install-deps.sh"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DSCANSERVER_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzzers -- -j2 >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(find "$build/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' | sort)
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets built" >&2; exit 1; }

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts" "$build/logs"
failed=0
printf '%-22s %12s  %s\n' target executions result
for target in "${targets[@]}"; do
  fuzzer="$build/fuzz/$target"
  [ -x "$fuzzer" ] || { echo "unknown target: $target" >&2; exit 2; }
  if [ "$mode" = --smoke ]; then
    work=$(mktemp -d)
  else
    work="$build/corpus/$target"
    mkdir -p "$work"
  fi
  log="$build/logs/$target.log"
  status=0
  # New inputs go to the first folder, so the seeds in the repository stay as they are.
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$work" "$root/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  [ "$mode" = --smoke ] && rm -rf "$work"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -eq 0 ]; then
    printf '%-22s %12s  %s\n' "$target" "${runs:-?}" ok
  else
    failed=1
    printf '%-22s %12s  %s\n' "$target" "${runs:-?}" "FAILED (exit $status, log $log)"
    grep -E 'check failed|ERROR:|runtime error|SUMMARY|Test unit written' "$log" | head -n 8 | sed 's/^/    /'
  fi
done
exit $failed
