#!/usr/bin/env bash
# Runs each libFuzzer target for SECONDS, starting from the seed corpus and the saved
# inputs of past findings (fuzz/regressions/TARGET/):
#   fuzz/run_fuzzers.sh SECONDS BUILD_DIR [TARGET...]
# BUILD_DIR is configured with CXX=clang++ -DCONV2MODEL_FUZZ=ON. The corpus a run grows,
# its log and any crash file go to BUILD_DIR/fuzz-out/TARGET/. Exits non-zero when a
# target found a failure; a crash file reruns with BUILD_DIR/fuzz/TARGET FILE or, without
# libFuzzer, with TARGET_replay FILE.
set -uo pipefail
seconds="$1"
build="$(cd "$2" && pwd)"
shift 2
here="$(cd "$(dirname "$0")" && pwd)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_config fuzz_input fuzz_conversion fuzz_info_file fuzz_work_file)
  # prepare's GRIB and NetCDF readers where prepare was built.
  [ -x "$build/fuzz/fuzz_grib" ] && targets+=(fuzz_grib)
  [ -x "$build/fuzz/fuzz_netcdf" ] && targets+=(fuzz_netcdf)
fi

status=0
for t in "${targets[@]}"; do
  out="$build/fuzz-out/$t"
  mkdir -p "$out/corpus"
  regressions=""
  [ -d "$here/regressions/$t" ] && regressions="$here/regressions/$t"
  # libFuzzer ends without exit handlers: the harnesses' scratch files go in a directory
  # of this script, in memory where possible.
  scratch="$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/c2m-fuzz.XXXXXX")"
  # The netCDF library sizes names and dimension lists by a header's counts before it
  # reads them: single allocations of many GiB it never touches, freed when the file
  # ends short. Such an allocation is refused there, as a system short of memory
  # refuses it (the library then says "Memory allocation failure").
  limit=()
  asan="${ASAN_OPTIONS:-}"
  if [ "$t" = fuzz_netcdf ]; then
    limit=(-malloc_limit_mb=1000000)
    asan="allocator_may_return_null=1:max_allocation_size_mb=2048${asan:+:$asan}"
  fi
  TMPDIR="$scratch" LSAN_OPTIONS="suppressions=$here/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    ASAN_OPTIONS="$asan" \
    "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${limit[@]}" \
    -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" "$here/corpus/$t" $regressions \
    >"$out/log" 2>&1
  rc=$?
  rm -rf "$scratch"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/log" | tail -1)"
  echo "$t: ${runs:-?} executions in ${seconds} s, exit $rc"
  if [ "$rc" -ne 0 ]; then
    status=1
    grep -m3 -E 'ERROR|SUMMARY|Test unit written' "$out/log" || tail -5 "$out/log"
  fi
done
exit "$status"
