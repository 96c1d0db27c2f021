#!/usr/bin/env bash
# Run by .ci/debian_package inside the fresh Debian root where the package was installed:
# each program from /usr/bin on the real GFS file, as a user runs it, and the Python
# reader with Debian's python3 and numpy (xarray is only suggested: not there).
#   usage: in_debian_root.sh --before   (none of the libraries is installed yet)
#          in_debian_root.sh DIR        (DIR holds the GFS file; results go to DIR/result)
set -euo pipefail
fail() {
  echo "in the Debian root: $*" >&2
  exit 1
}

# What the package's Depends (the libraries) and Recommends (parallel, numpy) bring.
brought="libeccodes0 libnetcdf19 libcairo2 parallel python3-numpy"
installed() { dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^ii'; }
if [ "$1" = --before ]; then
  for p in $brought; do ! installed "$p" || fail "$p is installed before the package"; done
  exit 0
fi
for p in $brought; do installed "$p" || fail "$p was not installed with the package"; done

in=$1
result=$in/result
mkdir -p "$result"
cd "$(mktemp -d)"

for p in conv2model conv2model-prepare conv2model-inspect conv2model-batch; do
  [ "$(command -v "$p")" = "/usr/bin/$p" ] || fail "$p is not in /usr/bin"
  [ -f "/usr/share/man/man1/$p.1.gz" ] || fail "$p has no manual page"
  bash -n "/usr/share/bash-completion/completions/$p" || fail "$p has no bash completion"
  "$p" --version </dev/null | grep -qx "$p [0-9.]*" || fail "$p --version"
done

conv2model-prepare -o gfs.bin "$in/gfs.t12z.pgrbf120.2p5deg.grib2" >prepare.log ||
  fail "conv2model-prepare: $(cat prepare.log)"
printf 'gfs.bin\nx\n' | conv2model >convert.log || fail "conv2model: $(tail -3 convert.log)"
[ -s gfs.bin.ORUwrk ] && [ -s gfs.bin.ORUwrk.gdsinfo ] || fail "conv2model wrote no outputs"
conv2model-inspect stats gfs.bin.ORUwrk >stats.txt
conv2model-inspect overview --time 2011-01-15T12 gfs.bin.ORUwrk overview.png
[ "$(head -c4 overview.png | od -An -c | tr -d ' ')" = 211PNG ] || fail "the overview is not a PNG"

# The batch through GNU parallel (recommended, so installed), on a copy of the input:
# its outputs must be the same bytes as the direct conversion's.
mkdir batch
cp gfs.bin InputModelInf.txt batch/
conv2model-batch --run-dir batch.run batch/gfs.bin >batch.log 2>&1 ||
  fail "conv2model-batch: $(cat batch.log)"
cmp batch/gfs.bin.ORUwrk gfs.bin.ORUwrk || fail "the batch's work file differs"
cmp batch/gfs.bin.ORUwrk.gdsinfo gfs.bin.ORUwrk.gdsinfo || fail "the batch's info file differs"

# The reader, without xarray: numpy arrays equal to the work file's records.
python3 - <<'PY' >reader.txt || fail "the Python reader: $(cat reader.txt)"
import numpy as np
import conv2model
ws = conv2model.open_workfile("gfs.bin.ORUwrk")
assert isinstance(ws, conv2model.WorkFile), type(ws)
lm, jm, im = ws["ta"].data.shape
raw = np.fromfile("gfs.bin.ORUwrk", dtype="<f4").reshape(-1, jm, im)
assert np.array_equal(ws["ta"].data, raw[4 * lm:5 * lm], equal_nan=True)
assert np.array_equal(ws["orog"].data, raw[5 * lm + 3], equal_nan=True)
print("%d x %d points, %d levels" % (im, jm, lm))
PY

cp overview.png batch.log stats.txt "$result/"
echo "prepare, conv2model, inspect stats and overview, the batch and the Python reader" \
  "ran on the GFS file ($(cat reader.txt))" >"$result/summary"
