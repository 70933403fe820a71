#!/usr/bin/env bash
# Runs one 64-bit Windows program in the build's Wine session (see
# wine-session.sh); CTest uses it as the cross-compiling emulator.
#
# This Wine cannot run 32-bit programs: it would print nothing and exit 0, so a
# PE32 file is refused here rather than passing silently.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh"

exe="${1:?usage: wine-run.sh program.exe [args...]}"
shift

if [ ! -f "$exe" ]; then
  echo "wine-run: $exe: no such file" >&2
  exit 127
fi
# The PE header: "MZ", e_lfanew at 0x3C, "PE\0\0", then the machine field.
if [ "$(head -c 2 "$exe")" != "MZ" ]; then
  echo "wine-run: $exe is not a Windows executable" >&2
  exit 126
fi
pe=$(od -An -tu4 -j 60 -N 4 "$exe" | tr -d ' ')
sig=$(od -An -tx1 -j "$pe" -N 4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j $((pe + 4)) -N 2 "$exe" | tr -d ' ')
if [ "$sig" != "50450000" ]; then
  echo "wine-run: $exe has no PE header" >&2
  exit 126
fi
if [ "$machine" != "8664" ]; then
  echo "wine-run: $exe is not an x86-64 (PE32+) program (machine 0x$machine); this Wine runs only 64-bit programs" >&2
  exit 126
fi
if [ ! -f "$QP_WINE_DIR/display" ]; then
  echo "wine-run: no Wine session in $QP_WINE_DIR; start one with scripts/wine-session.sh start" >&2
  exit 125
fi

err="$(mktemp)"
"$QP_WINE" "$exe" "$@" </dev/null 2>"$err"
rc=$?
cat "$err" >&2
rm -f "$err"
exit $rc
