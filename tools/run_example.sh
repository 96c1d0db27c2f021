#!/usr/bin/env bash
# Builds the bundled sample analysis (40 x 30 points, 10 levels) in example/ and runs
# conv2model on it, printing the progress log and where the outputs are.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
dir=$top/example
mkdir -p "$dir"
"$build/sample_gen" "$dir" 40 30 10 --missing-rh-top 1
cd "$dir"
status=0
"$build/conv2model" <stdin.txt || status=$?
echo
echo "exit status: $status"
echo "work file:   $dir/sample.bin.ORUwrk"
echo "info file:   $dir/sample.bin.ORUwrk.gdsinfo"
exit $status
