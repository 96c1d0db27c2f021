#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing. Says what
# it installs; does nothing when everything is there. Runs apt-get through sudo when not root.
set -euo pipefail

packages="cmake g++ make libgtest-dev libnetcdf-dev netcdf-bin libpng-dev clang libclang-rt-14-dev
  libeccodes-dev libeccodes-tools cdo nco"

missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -z "$missing" ]; then
  exit 0
fi
echo "install_deps: installing$missing" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends $missing
