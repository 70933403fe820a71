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

# Runs a built tree's tests into a log; `summarize` then counts them.
run_ctest() {
  local dir="$1" log="$2" j="${3:-$jobs}"
  if [ ! -f "$dir/CTestTestfile.cmake" ]; then
    echo "$dir is not built" >"$log"
    return
  fi
  ctest --test-dir "$dir" -j "$j" --output-on-failure --timeout 300 >"$log" 2>&1
}

summarize() {
  local name="$1" log="$2"
  echo "== $name tests =="
  cat "$log"
  local summary
  summary="$(grep -aE '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
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

logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

wine32_problem() { (source "$root/scripts/wine-env.sh" && qp_wine32_problem); }
skipped32=""

run_ctest "$root/build/native" "$logs/native"
summarize native "$logs/native"
# Every Windows test runs against both builds: the shipped i686 program and
# its tests under 32-bit Wine, and the x86_64 build under wine64. Each build
# has its own Wine session and display, so the two run side by side; their
# logs follow when both are done.
win32=1
if [ "${QP_NO_WINE32:-0}" = 1 ]; then
  skipped32="32-bit runs SKIPPED (QP_NO_WINE32=1): the shipped program was not tested"
  win32=0
elif problem="$(wine32_problem)" && [ -n "$problem" ]; then
  echo "windows-i686: $problem, so the shipped 32-bit program cannot be tested;"
  echo "  run the tests where it can be, or set QP_NO_WINE32=1 to run the other tests without it"
  broken=1
  win32=0
fi
# The prefix template both sessions clone is made first, outside any test's
# time limit: where 32-bit programs are emulated it takes minutes.
if ! "$root/scripts/wine-session.sh" template; then
  echo "the Wine prefix template could not be made"
  broken=1
fi
echo "== Windows tests: $([ $win32 -eq 1 ] && echo "i686 and x86_64 side by side" || echo "x86_64") =="
# Side by side, each build runs one test at a time: two programs starting
# processes at once in one Wine session have been seen to fail now and then
# to start them ("Could not launch process", "ShellExecuteEx failed"). Where
# 32-bit programs go through qemu (see install-deps.sh) the i686 side is slow
# enough, and the run long enough, for both to keep all the jobs.
winjobs="$jobs"
if [ $win32 -eq 1 ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  winjobs=$(((jobs + 1) / 2))
fi
if [ $win32 -eq 1 ]; then
  QP_WINE_DIR="$root/build/win32/wine" run_ctest "$root/build/win32" "$logs/win32" "$winjobs" &
fi
QP_WINE_DIR="$root/build/win64/wine" run_ctest "$root/build/win64" "$logs/win64" "$winjobs" &
wait
[ $win32 -eq 1 ] && summarize windows-i686 "$logs/win32"
summarize windows-x86_64 "$logs/win64"

echo
[ -n "$skipped32" ] && echo "$skipped32"
[ "$broken" -ne 0 ] && echo "some suites did not run"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$broken" -eq 0 ]
