#!/usr/bin/env bash
# Runs one Windows program in the build's Wine session (see wine-session.sh);
# CTest uses it as the cross-compiling emulator.
#
# 32-bit (PE32) programs run under 32-bit Wine. Without wine32 installed,
# Wine would print nothing and exit 0 for them, so there a PE32 file is
# refused rather than passing silently.
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
case "$machine" in
  8664) ;;
  014c)
    if ! qp_have_wine32; then
      echo "wine-run: $exe is not an x86-64 (PE32+) program (machine 0x$machine); this Wine runs only 64-bit programs (wine32 is not installed)" >&2
      exit 126
    fi
    if [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
      echo "wine-run: the prefix $WINEPREFIX has no 32-bit side; start the session again (scripts/wine-session.sh start)" >&2
      exit 125
    fi
    ;;
  *)
    echo "wine-run: $exe is neither an x86-64 nor an i386 program (machine 0x$machine)" >&2
    exit 126
    ;;
esac
if [ ! -f "$QP_WINE_DIR/display" ]; then
  echo "wine-run: no Wine session in $QP_WINE_DIR; start one with scripts/wine-session.sh start" >&2
  exit 125
fi

out="$(mktemp)"
err="$(mktemp)"
for attempt in 1 2; do
  started=$(date +%s%N)
  "$QP_WINE" "$exe" "$@" </dev/null >"$out" 2>"$err"
  rc=$?
  elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  # Now and then (about once in a thousand starts here, on a loaded machine)
  # Wine gives up within a few hundredths of a second with an error and
  # neither the program nor Wine has written a byte. That is Wine failing to
  # start, not the program failing: say so and start it once more. A program
  # that fails writes something, takes longer, or fails the second time too.
  if [ "$rc" -ne 0 ] && [ "$attempt" -eq 1 ] && [ "$elapsed_ms" -lt 300 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "wine-run: $exe exited with $rc before writing anything; starting it once more" >&2
    continue
  fi
  # Once in a while Wine's loader hands the program to its shell launcher,
  # which fails at once with "ShellExecuteEx failed: Internal error" and
  # nothing else written: also Wine failing to start it.
  if [ "$rc" -ne 0 ] && [ "$attempt" -eq 1 ] && [ "$elapsed_ms" -lt 2000 ] &&
     [ -z "$(grep -v -e 'Application could not be started' -e 'ShellExecuteEx failed' -e '^[[:space:]]*$' "$out" "$err")" ] &&
     grep -q 'ShellExecuteEx failed' "$out" "$err"; then
    echo "wine-run: Wine could not start $exe (ShellExecuteEx failed); starting it once more" >&2
    continue
  fi
  break
done
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
[ "$rc" -eq 0 ] || echo "wine-run: $(basename "$exe") exited with $rc" >&2
exit $rc
