#!/usr/bin/env bash
# tools/install_deps.sh against stand-ins for dpkg-query, apt-get, sudo and id: it
# installs exactly the missing packages of the groups asked for, says which, is silent
# when all is there, goes through sudo only when not root, and waits for another apt
# run's lock but not for any other failure.
#   usage: install_deps_test.sh SOURCE_DIR
set -uo pipefail
script=$1/tools/install_deps.sh
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
fails=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else
    echo "FAIL $what"
    fails=$((fails + 1))
  fi
}

# The stand-ins: $fake/installed lists the installed packages, $fake/log gets each call,
# $fake/uid is the user id, $fake/lock_busy counts apt-get updates refused for the lock.
mkdir "$fake/bin"
cat >"$fake/bin/dpkg-query" <<'END'
#!/usr/bin/env bash
grep -qx "${@: -1}" "$FAKE/installed" && printf 'ii ' || { printf 'un '; exit 1; }
END
cat >"$fake/bin/apt-get" <<'END'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/log"
if [[ " $* " == *" update "* ]]; then
  busy=$(cat "$FAKE/lock_busy")
  if [ "$busy" = broken ]; then echo "E: The repository is not signed." >&2; exit 100; fi
  if [ "$busy" -gt 0 ]; then
    echo $((busy - 1)) >"$FAKE/lock_busy"
    echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2
    exit 100
  fi
fi
END
cat >"$fake/bin/sudo" <<'END'
#!/usr/bin/env bash
echo "sudo $*" >>"$FAKE/log"
[ "$1" = -v ] || exec "$@"
END
cat >"$fake/bin/id" <<'END'
#!/usr/bin/env bash
cat "$FAKE/uid"
END
cat >"$fake/bin/sleep" <<'END'
#!/usr/bin/env bash
END
chmod +x "$fake/bin"/*

# run UID INSTALLED LOCK_BUSY GROUP...: runs the script; sets $status, $out, $err, $log.
run() {
  echo "$1" >"$fake/uid"
  tr ' ' '\n' <<<"$2" >"$fake/installed"
  echo "$3" >"$fake/lock_busy"
  shift 3
  : >"$fake/log"
  FAKE=$fake PATH=$fake/bin:$PATH "$script" "$@" >"$fake/out" 2>"$fake/err"
  status=$?
  out=$(cat "$fake/out") err=$(cat "$fake/err") log=$(cat "$fake/log")
}
installs() { grep -q -- "install -y --no-install-recommends $1\$" <<<"$log"; }
no_sudo() { ! grep -q sudo <<<"$log"; }
no_install() { ! grep -q install <<<"$log"; }
# The packages that GROUP... installs on a machine that has none, one a line.
packages() {
  run 0 "" 0 "$@"
  sed -n 's/.*install -y --no-install-recommends //p' <<<"$log" | tr ' ' '\n'
}
# Every line of the file $2 is in the file $1.
holds() { [ -z "$(comm -13 <(sort -u "$1") <(sort -u "$2"))" ]; }

packages build >"$fake/build"
packages inspect >"$fake/inspect"
packages tests >"$fake/tests"
packages >"$fake/all"
check "the groups install something" test -s "$fake/build" -a -s "$fake/inspect"
check "tests: its own packages and those of build and inspect" \
  holds "$fake/tests" <(cat "$fake/build" "$fake/inspect")
check "no group: every group's packages" holds "$fake/all" "$fake/tests"

run 0 "$(cat "$fake/all")" 0 tests build
check "all there: silent, status 0, apt-get not run" test "$status" = 0 -a -z "$out$err$log"

last=$(tail -1 "$fake/build")
run 0 "$(head -n -1 "$fake/build")" 0 build
check "one package missing: says it, status 0" \
  test "$status" = 0 -a "$out" = "install_deps: installing $last" -a -z "$err"
check "one package missing: installs it alone" installs "$last"
check "as root: no sudo" no_sudo

run 1000 "" 0 build
check "not root: through sudo, asking once" \
  test "$status" = 0 -a "$(grep -c '^sudo' <<<"$log")" = 3 -a "$(head -1 <<<"$log")" = "sudo -v"

run 0 "$(head -n -1 "$fake/build")" 2 build
check "another apt run holds the lock: waits, then installs" \
  test "$status" = 0 -a "$(grep -c 'update' <<<"$log")" = 3 -a -z "$err"
check "after the wait: the missing package installed" installs "$last"

run 0 "" broken build
check "another failure: said, status non-zero, nothing installed" \
  test "$status" != 0 -a "$(grep -c update <<<"$log")" = 1 -a "${err#*not signed}" != "$err"
check "another failure: no install run" no_install

run 0 "" 0 build nonsense
check "unknown group: status 2, the groups listed, nothing installed" \
  test "$status" = 2 -a -z "$log" -a "${err#*groups: build}" != "$err"

echo "$fails install-script check(s) failed"
[ $fails = 0 ]
