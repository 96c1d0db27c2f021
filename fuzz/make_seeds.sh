#!/usr/bin/env bash
# Rebuilds the seed corpus fuzz/corpus/TARGET/ from the sample generator:
#   fuzz/make_seeds.sh BUILD_DIR
# fuzz_config takes InputModelInf.txt, fuzz_input three grid bytes and the input file,
# fuzz_conversion the configuration, a NUL byte and the input file.
set -euo pipefail
gen="$1/sample_gen"
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

octal() { printf '\\%03o' "$1"; }

mkdir -p "$here"/corpus/{fuzz_config,fuzz_input,fuzz_conversion}
while read -r im jm lm opts; do
  name="sample_${im}x${jm}x${lm}${opts:+_}${opts//[- ]/}"
  # shellcheck disable=SC2086
  "$gen" "$tmp" "$im" "$jm" "$lm" --name an.bin $opts
  cp "$tmp/InputModelInf.txt" "$here/corpus/fuzz_config/$name"
  { printf "$(octal $((im - 1)))$(octal $((jm - 1)))$(octal $((lm - 1)))"; cat "$tmp/an.bin"; } \
    >"$here/corpus/fuzz_input/$name"
  { cat "$tmp/InputModelInf.txt"; printf '\0'; cat "$tmp/an.bin"; } \
    >"$here/corpus/fuzz_conversion/$name"
done <<'GRIDS'
1 1 1
3 2 2
5 4 3 --global
4 3 5 --missing-rh-top 2
16 2 4
GRIDS
