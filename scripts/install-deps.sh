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
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# Some virtual machines' kernels refuse every 32-bit program ("Exec format
# error"). There 32-bit programs run through qemu's user-mode emulator,
# registered with binfmt_misc for i386 ELF files. The registration does not
# outlive a reboot, so it is made again whenever it is missing. F: the
# emulator is opened now, so that it also serves other mount namespaces.
binfmt=/proc/sys/fs/binfmt_misc
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
emulate_i386() {
  qp_kernel_runs_32bit && return 0
  [ "${QP_NO_WINE32:-0}" = 1 ] && return 0
  # Bookworm's own qemu (7.2) ignores MAP_FIXED_NOREPLACE: 32-bit Wine then
  # reserves its address space in 65,536 slow steps, a minute per program
  # start. The backported emulator honours it and starts a program in a
  # fraction of a second.
  if ! dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null | grep -q '^1:\([89]\|[1-9][0-9]\)'; then
    echo "installing qemu-user-static from bookworm-backports: this machine's kernel does not run 32-bit programs"
    local list=/etc/apt/sources.list.d/quillpad-backports.sources
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        $sudo tee "$list" >/dev/null
    fi
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static || return 0
  fi
  [ -f "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || return 0
  [ -e "$binfmt/qemu-i386" ] && $sudo sh -c "echo -1 > $binfmt/qemu-i386"
  printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386-static:FP\n' "$i386_magic" "$i386_mask" |
    $sudo tee "$binfmt/register" >/dev/null || return 0
  qp_kernel_runs_32bit && echo "32-bit programs run here through qemu-i386 (binfmt_misc)"
}
emulate_i386

want_wine32=0
if [ "${QP_NO_WINE32:-0}" != 1 ] && ! installed "$wine32"; then
  if qp_kernel_runs_32bit; then
    want_wine32=1
  else
    echo "install-deps: this machine does not run 32-bit programs, even emulated: $wine32 is left out" >&2
  fi
fi
[ ${#missing[@]} -eq 0 ] && [ $want_wine32 -eq 0 ] && exit 0
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
