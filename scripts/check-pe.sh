#!/usr/bin/env bash
# Checks a built quillpad.exe: the expected machine (i386 or x86-64), the GUI
# subsystem, large-address-awareness (i386), and imports from system DLLs
# only (no libstdc++, libgcc or winpthread DLL: those are linked in
# statically).
#
#   check-pe.sh FILE i386|x86-64
set -euo pipefail
exe="$1"
arch="$2"
case "$arch" in
  i386) objdump=i686-w64-mingw32-objdump; format=pei-i386 ;;
  x86-64) objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
dump="$($objdump -p "$exe")"
fail=0
if ! grep -q "file format $format" <<<"$dump"; then
  echo "FAIL: $exe is not $format"
  fail=1
fi
if ! grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$dump"; then
  echo "FAIL: $exe is not a GUI program"
  fail=1
fi
if [ "$arch" = i386 ] && ! grep -q 'large address aware' <<<"$dump"; then
  echo "FAIL: $exe is not large-address-aware"
  fail=1
fi
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|imm32|wininet|msvcrt|ole32|shlwapi|winspool\.drv)(\.dll)?$'
while read -r dll; do
  if ! grep -Eiq "$allowed" <<<"$dll"; then
    echo "FAIL: $exe imports $dll, which is not a system DLL"
    fail=1
  fi
done < <(grep 'DLL Name:' <<<"$dump" | awk '{print $3}')
echo "imports: $(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')"
[ $fail -eq 0 ] && echo "OK: $exe is a static $format GUI program"
exit $fail
