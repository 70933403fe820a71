#!/usr/bin/env bash
# Runs every test suite of a built tree and ends with one line:
#   N passed, N failed
# Exit status 0 only when nothing failed and every suite ran.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="${QP_TEST_JOBS:-2}"

passed=0
failed=0
broken=0

run_suite() {
  local name="$1" dir="$2"
  echo "== $name tests =="
  if [ ! -f "$dir/CTestTestfile.cmake" ]; then
    echo "$name: $dir is not built"
    broken=1
    return
  fi
  local log
  log="$(mktemp)"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 2>&1 | tee "$log"
  local summary
  summary="$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
  rm -f "$log"
  if [ -z "$summary" ]; then
    echo "$name: no test summary"
    broken=1
    return
  fi
  local f t
  f="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
  t="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")"
  passed=$((passed + t - f))
  failed=$((failed + f))
}

wine32_problem() { (source "$root/scripts/wine-env.sh" && qp_wine32_problem); }
skipped32=""

run_suite native "$root/build/native"
# Every Windows test runs against both builds: the shipped i686 program and
# its tests under 32-bit Wine first, then the x86_64 build under wine64.
if [ "${QP_NO_WINE32:-0}" = 1 ]; then
  skipped32="32-bit runs SKIPPED (QP_NO_WINE32=1): the shipped program was not tested"
elif problem="$(wine32_problem)" && [ -n "$problem" ]; then
  echo "windows-i686: $problem, so the shipped 32-bit program cannot be tested;"
  echo "  run the tests where it can be, or set QP_NO_WINE32=1 to run the other tests without it"
  broken=1
else
  QP_WINE_DIR="$root/build/win32/wine" run_suite windows-i686 "$root/build/win32"
fi
QP_WINE_DIR="$root/build/win64/wine" run_suite windows-x86_64 "$root/build/win64"

echo
[ -n "$skipped32" ] && echo "$skipped32"
[ "$broken" -ne 0 ] && echo "some suites did not run"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$broken" -eq 0 ]
