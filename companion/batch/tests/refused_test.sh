#!/usr/bin/env bash
# conv2model-batch refusing inputs up front: a missing file, a directory (with and
# without its slash), an unreadable file and an input given twice under two spellings
# each get their own line, the status is 3, and nothing is done.
#
# An unreadable file needs a user who cannot read it: root reads everything, so as root
# the batch runs as the unprivileged user nobody. Where the clone lies (a home or a
# temporary folder of mode 0700) nobody may not enter, so everything this case needs
# (the batch, the converter, the inputs, the run directory) is copied into a folder of
# its own under /tmp that nobody may enter. Without such a user the case is skipped
# with status 77, which ctest shows as skipped, with the reason.
#   refused_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd) || exit 1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
skip() {
  echo "batch_refused_inputs: SKIPPED: $*"
  exit 77
}

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  user=nobody
  uid=$(id -u "$user" 2>/dev/null) || skip "running as root, and there is no user $user to run the batch as"
  gid=$(id -g "$user")
  [ "$uid" -ne 0 ] || skip "the user $user is root here"
  as_user=(setpriv --reuid="$uid" --regid="$gid" --clear-groups)
fi

w=$(mktemp -d /tmp/conv2model-batch-refused.XXXXXX) || fail "cannot make a folder under /tmp"
trap 'rm -rf "$w"' EXIT
mkdir "$w/bin" "$w/in" "$w/in/grid-a" "$w/in/a-dir"
cp "$build/conv2model-batch" "$build/conv2model" "$w/bin/" || fail "cannot copy the programs"
(cd "$w/in/grid-a" && "$build/sample_gen" . 12 8 5 --name a01.bin >/dev/null) || fail "sample_gen"
rm -f "$w/in/grid-a/stdin.txt"
printf 'old work file\n' >"$w/in/grid-a/a01.bin.ORUwrk"
printf 'old info file\n' >"$w/in/grid-a/a01.bin.ORUwrk.gdsinfo"
printf 'x\n' >"$w/in/locked.bin"
chmod -R go+rX "$w"
chmod 000 "$w/in/locked.bin"
# The run directory is made by the batch: its parent must be the user's to write.
mkdir "$w/runs"
[ ${#as_user[@]} -eq 0 ] || chown "$uid:$gid" "$w/runs"
if [ ${#as_user[@]} -gt 0 ] && ! "${as_user[@]}" test -x "$w/bin/conv2model-batch"; then
  skip "the user $user cannot enter $w"
fi

input=$w/in/grid-a/a01.bin
bad=("$input" "$w/in/missing.bin" "$w/in/a-dir" "$w/in/a-dir/" "$w/in/locked.bin" "$w/in/grid-a/./a01.bin")
"${as_user[@]}" "$w/bin/conv2model-batch" --run-dir "$w/runs/run" "${bad[@]}" >"$w/out" 2>"$w/err" </dev/null
status=$?
cat "$w/out" "$w/err"
[ "$status" -eq 3 ] || fail "status $status, not 3"
[ ! -s "$w/out" ] || fail "standard output is not empty"
diff - "$w/err" <<EOF || fail "the refused inputs"
conv2model-batch: input 2: $w/in/missing.bin: no such file
conv2model-batch: input 3: $w/in/a-dir: a directory, not an input file
conv2model-batch: input 4: $w/in/a-dir/: a directory, not an input file
conv2model-batch: input 5: $w/in/locked.bin: cannot be read: permission denied
conv2model-batch: input 6: $w/in/grid-a/./a01.bin: given twice: also input 1
conv2model-batch: 5 of the inputs cannot be converted; nothing was done
EOF
[ "$(cat "$input.ORUwrk" "$input.ORUwrk.gdsinfo")" = "old work file
old info file" ] || fail "a refused batch touched an output"
[ ! -e "$w/runs/run/status" ] || fail "a refused batch converted something"
echo "batch_refused_inputs: all checks passed"
