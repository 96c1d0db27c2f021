#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user gets there: each
# program, its manual page and its bash completion and nothing else, every installed program answering
# --version and --help, the installed converter passing the worked conversions and the
# installed inspector reading its result, and every page formatting without a warning.
#   usage: install_test.sh CMAKE BUILD_DIR GOLDEN_DIR VERSION PROGRAM...
set -euo pipefail
cmake=$1 build=$2 golden=$3 version=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

expected=$(for p in "$@"; do
  echo "bin/$p"
  echo "share/man/man1/$p.1"
  echo "share/bash-completion/completions/$p"
done | sort)
found=$(cd "$prefix" && find . -type f -printf '%P\n' | sort)
[ "$found" = "$expected" ] || fail "installed files differ from the programs, their pages and completions:
$(diff <(echo "$expected") <(echo "$found"))"

for p in "$@"; do
  out=$("$prefix/bin/$p" --version </dev/null) || fail "$p --version: status $?"
  [ "$out" = "$p $version" ] || fail "$p --version says '$out', not '$p $version'"
  # Read whole: grep -q would stop reading at the usage line and the program would die of
  # SIGPIPE writing the rest.
  help=$("$prefix/bin/$p" --help </dev/null) || fail "$p --help: status $?"
  grep -q "^Usage: $p" <<<"$help" || fail "$p --help: no usage"

  page=$prefix/share/man/man1/$p.1
  if command -v man >/dev/null 2>&1; then
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>"$prefix/warnings")
  else
    # Plain text: no escape sequences or overstrikes for bold and underline.
    text=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -P-cbu "$page" 2>"$prefix/warnings")
  fi
  [ ! -s "$prefix/warnings" ] || fail "$p.1 formats with warnings: $(cat "$prefix/warnings")"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" DIAGNOSTICS EXAMPLES; do
    grep -q "^$section" <<<"$text" || fail "$p.1 has no $section section"
  done
  rm -f "$prefix/warnings"
  bash -n "$prefix/share/bash-completion/completions/$p" || fail "$p's completion is not bash"
  grep -q "^  complete -F [_a-z0-9]* $p\$" "$prefix/share/bash-completion/completions/$p" ||
    fail "$p's completion does not complete $p"
done

"$here/run_golden.sh" "$prefix/bin/conv2model" "$golden" >/dev/null ||
  fail "the installed conv2model fails the worked conversions"

if [ -x "$prefix/bin/conv2model-inspect" ]; then
  work=$prefix/work
  mkdir "$work"
  cp -r "$golden/01-valid-none/case/." "$work/"
  chmod -R u+w "$work"
  rm -f "$work"/*.ORUwrk* # a new work file, not one overwritten in place
  (cd "$work" && "$prefix/bin/conv2model" <stdin.txt >/dev/null)
  work_file=$(find "$work" -name '*.ORUwrk')
  stats=$("$prefix/bin/conv2model-inspect" stats "$work_file") || stats=
  [ -n "$stats" ] || fail "the installed conv2model-inspect cannot read a work file"
  rm -rf "$work"
fi
echo "installed and checked: $*"
