#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need; does nothing
# when they are all present. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  libgtest-dev googletest libbenchmark-dev libpcre2-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 fonts-wine fonts-liberation2 fonts-dejavu-core
  xvfb imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# A plain update fails on machines with i386 enabled (the mirror's i386 index
# is broken); only amd64 is needed.
$sudo apt-get update -o APT::Architectures=amd64 -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
