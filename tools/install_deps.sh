#!/usr/bin/env bash
# Installs the Debian packages that the build needs, only those that are missing, and
# says which; prints nothing when everything is there. Runs apt-get through sudo when
# not root.
#
#   tools/install_deps.sh [GROUP]...    GROUP: a name from the table below; none: all
#
# Each line of the table is a group: its name, then Debian packages, or @NAME for all
# of another group's packages. A part of the build that needs a new package gets a line
# here (and "tests" an @NAME when its tests need it).
set -euo pipefail

table='
build    cmake g++ make
inspect  libnetcdf-dev netcdf-bin pkg-config libcairo2-dev
prepare  libnetcdf-dev libeccodes-dev libproj-dev
batch    parallel
cluster  slurm-wlm munge iproute2
package  dpkg-dev lintian mmdebstrap
tests    @build @inspect @prepare @batch @package libgtest-dev groff-base cdo nco libeccodes-tools proj-bin shellcheck python3-numpy python3-xarray python3-netcdf4 bash-completion
fuzz     clang libclang-rt-14-dev
'

me=install_deps

group_line() {
  local name line
  while read -r name line; do
    [ "$name" = "$1" ] && { echo "$line"; return 0; }
  done <<<"$table"
  return 1
}

# The packages of a group, with those of the groups it names.
expand() {
  local word line
  line=$(group_line "$1") || {
    echo "$me: no group '$1' (groups: $(awk 'NF {print $1}' <<<"$table" | paste -sd ' '))" >&2
    exit 2
  }
  for word in $line; do
    case $word in
      @*) expand "${word#@}" ;;
      *) echo "$word" ;;
    esac
  done
}

groups=("$@")
[ ${#groups[@]} -gt 0 ] || mapfile -t groups < <(awk 'NF {print $1}' <<<"$table")

wanted=()
for g in "${groups[@]}"; do
  words=$(expand "$g") || exit $?
  for p in $words; do
    [[ " ${wanted[*]-} " == *" $p "* ]] || wanted+=("$p")
  done
done

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "$me: not a Debian system; install the equivalents of: ${wanted[*]}" >&2
  exit 1
fi

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [ "$status" = "ii " ] || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "$me: missing ${missing[*]}; not root and no sudo: as root, run" \
      "apt-get install ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "$me: installing ${missing[*]}"
# sudo asks for the password here, once, if it needs one.
if [ ${#as_root[@]} -gt 0 ] && ! sudo -v; then
  echo "$me: sudo refused; as root, run apt-get install ${missing[*]}" >&2
  exit 1
fi
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -o DPkg::Lock::Timeout=600)
# Another apt run may hold the package lists for a while: wait for it rather than fail.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
tries=0
until "${apt[@]}" update >/dev/null 2>"$errors"; do
  tries=$((tries + 1))
  if ! grep -q 'Could not get lock' "$errors" || [ $tries -ge 20 ]; then
    cat "$errors" >&2
    exit 1
  fi
  sleep 15
done
"${apt[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null
