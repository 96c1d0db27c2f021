#!/usr/bin/env bash
# The golden check must be able to fail: run_golden.sh passes on an intact copy of one
# worked conversion and fails on copies with one byte of the expected work file changed,
# with the expected output files missing, and with no cases at all.
# usage: golden_runner_selftest.sh CONV2MODEL GOLDEN_DIR
set -u
bin=$1
golden=$2
here=$(dirname "$0")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
one=03-valid-rh_top
fails=0

# Runs the golden check on a fresh copy of case $one after the change $2; $1 is the
# status wanted (0 pass, 1 fail).
try() {
  rm -rf "$scratch/g"
  mkdir -p "$scratch/g"
  cp -r "$golden/$one" "$scratch/g/"
  (cd "$scratch/g/$one" && eval "$2")
  "$here/run_golden.sh" "$bin" "$scratch/g" >"$scratch/log" 2>&1
  local got=$?
  [ "$got" != 0 ] && got=1
  if [ "$got" = "$1" ]; then echo "ok   $2"; else
    echo "FAIL $2: status $got, wanted $1"
    cat "$scratch/log"
    fails=$((fails + 1))
  fi
}

try 0 ':'
try 1 'printf "\\x01" | dd of=expected/an.bin.ORUwrk bs=1 seek=1000 conv=notrunc status=none'
try 1 'printf "9" | dd of=expected/an.bin.ORUwrk.gdsinfo bs=1 seek=0 conv=notrunc status=none'
try 1 'rm expected/an.bin.ORUwrk expected/an.bin.ORUwrk.gdsinfo'
try 1 'rm expected/an.bin.ORUwrk.gdsinfo'
try 1 'rm expected/stdout'
try 1 'rm -r ../*'
[ $fails = 0 ]
