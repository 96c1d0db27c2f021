#!/usr/bin/env bash
# The Debian package CPack makes from the build: its name, each program with its page
# compressed as Debian asks (and the same text as docs/man), its bash completion, the
# Python reader, the documents; Depends naming the package of every library a program
# links (found with dpkg -S, apart from dpkg-shlibdeps), GNU parallel recommended and
# SLURM suggested; and lintian without an error or a warning.
#   usage: package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION SCRATCH PROGRAM...
set -euo pipefail
cpack=$1 build=$2 source=$3 version=$4 scratch=$5
shift 5
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
rm -rf "$scratch"
mkdir -p "$scratch"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$scratch/cpack.log")"
arch=$(dpkg --print-architecture)
deb=$scratch/conv2model_${version}_$arch.deb
[ -f "$deb" ] || fail "no $deb; cpack wrote: $(cd "$scratch" && ls ./*.deb)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = conv2model ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"

# The files, and nothing else.
python=usr/lib/python3/dist-packages/conv2model
expected=$(
  for p in "$@"; do
    echo "usr/bin/$p"
    echo "usr/share/man/man1/$p.1.gz"
    echo "usr/share/bash-completion/completions/$p"
  done
  for f in __init__.py _fields.py _info.py _reader.py; do echo "$python/$f"; done
  for f in README.md copyright changelog.gz; do echo "usr/share/doc/conv2model/$f"; done
  for f in "$source"/docs/*.md "$source"/docs/*.png; do
    echo "usr/share/doc/conv2model/docs/${f##*/}"
  done
)
found=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||')
[ "$(sort <<<"$found")" = "$(sort <<<"$expected")" ] || fail "the package's files differ:
$(diff <(sort <<<"$expected") <(sort <<<"$found"))"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for p in "$@"; do
  [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p is not executable"
  page=$root/usr/share/man/man1/$p.1.gz
  # gzip -9n: no name and no time stamp in the header (bytes 4-7 and flag bit 3).
  [ "$(od -An -tx1 -j3 -N5 "$page" | tr -d ' ')" = 0000000000 ] ||
    fail "$p.1.gz has a name or a time stamp in its header"
  zcat "$page" | cmp -s - "$source/docs/man/$p.1" || fail "$p.1.gz is not docs/man/$p.1"
done
for p in "$@"; do
  cmp -s "$build/completion/$p" "$root/usr/share/bash-completion/completions/$p" ||
    fail "the completion of $p is not the build's"
done
for f in "$build"/python/conv2model/*.py; do
  cmp -s "$f" "$root/$python/${f##*/}" || fail "$python/${f##*/} is not the build's"
done
cmp -s "$source/packaging/copyright" "$root/usr/share/doc/conv2model/copyright" ||
  fail "the copyright file is not packaging/copyright"
# Every relative link of the installed guide leads to a file installed beside it.
doc=$root/usr/share/doc/conv2model
for page in "$doc/README.md" "$doc"/docs/*.md; do
  for link in $(grep -o '](\([^)#:]*\))' "$page" | sed 's/^](\(.*\))$/\1/'); do
    [ -e "$(dirname "$page")/$link" ] || fail "${page#"$root"/} links to $link, which is not installed"
  done
done
changelog=$(zcat "$root/usr/share/doc/conv2model/changelog.gz")
[[ "${changelog%%$'\n'*}" == "conv2model ($version) "* ]] ||
  fail "the changelog's first entry is not version $version"

# Depends: every library a program needs, by the Debian package that holds it here.
depends=$(field Depends)
for p in "$@"; do
  file=$root/usr/bin/$p
  [ "$(head -c4 "$file")" = $'\x7fELF' ] || continue
  # Read whole, so that an early match cannot end readelf by SIGPIPE (pipefail).
  sections=$(readelf -S "$file")
  ! grep -q '\.debug_info' <<<"$sections" || fail "usr/bin/$p is not stripped"
  for lib in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldd "$build/$p" | awk -v l="$lib" '$1 == l { print $3 }')
    # By the path the loader finds, or the one a merged /usr links it to.
    owner=$( (dpkg -S "$path" || dpkg -S "$(readlink -f "$path")") 2>/dev/null |
      head -1 | cut -d: -f1)
    [ -n "$owner" ] || fail "no package holds $lib ($path)"
    [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] ||
      fail "$p needs $lib of $owner, but Depends is: $depends"
  done
done
[[ "$(field Recommends)" == *parallel* ]] || fail "Recommends: $(field Recommends)"
[[ "$(field Suggests)" == *slurm-client* ]] || fail "Suggests: $(field Suggests)"

command -v lintian >/dev/null 2>&1 || fail "lintian is not installed (tools/install_deps.sh package)"
lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$scratch/lintian.log")"
! grep -E '^[EW]: ' "$scratch/lintian.log" || fail "lintian has something to say"
echo "package checked: $deb"
