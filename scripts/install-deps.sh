#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; does nothing
# when they are all present. Safe to run again.
#
# The shipped program is 32-bit, so its tests run under 32-bit Wine
# (wine32:i386). That needs the i386 architecture enabled; one
# `apt-get update` then fetches both indexes. When wine32 cannot be installed
# (no i386 packages on the mirror) or run (a kernel without 32-bit programs),
# this script says so and goes on: the test run then fails with the same
# message unless QP_NO_WINE32=1 is set.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  libgtest-dev googletest libbenchmark-dev libpcre2-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 fonts-wine fonts-liberation2 fonts-dejavu-core
  xvfb imagemagick
)
wine32=wine32:i386

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
source "$(dirname "$0")/wine-env.sh"
want_wine32=0
if [ "${QP_NO_WINE32:-0}" != 1 ] && ! installed "$wine32"; then
  if qp_kernel_runs_32bit; then
    want_wine32=1
  else
    echo "install-deps: this machine's kernel does not run 32-bit programs: $wine32 is left out" >&2
  fi
fi
[ ${#missing[@]} -eq 0 ] && [ $want_wine32 -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if [ $want_wine32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "enabling the i386 architecture for 32-bit Wine"
  $sudo dpkg --add-architecture i386
fi
echo "installing: ${missing[*]} $([ $want_wine32 -eq 1 ] && echo "$wine32")"
$sudo apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ $want_wine32 -eq 1 ]; then
  # wine32 with its recommends: the 32-bit side needs the i386 libraries the
  # 64-bit install pulled in for itself.
  if ! $sudo apt-get install -y -qq "$wine32"; then
    echo "install-deps: $wine32 could not be installed; the shipped 32-bit program cannot be tested" \
      "on this machine (set QP_NO_WINE32=1 to run the other tests anyway)" >&2
  fi
fi
