#!/usr/bin/env bash
# qpfind end to end: options, output lines, messages and exit statuses.
#   qpfind_test.sh PATH-TO-QPFIND
set -uo pipefail
qpfind="$1"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
failures=0

# expect NAME STATUS EXPECTED-OUTPUT -- ARGS...
expect() {
  local name="$1" status="$2" want="$3"
  shift 4
  local got rc
  got="$("$qpfind" "$@" 2>&1)"
  rc=$?
  if [ "$rc" != "$status" ] || [ "$got" != "$want" ]; then
    echo "FAIL $name: status $rc (want $status)"
    echo "  got:  $(printf '%q' "$got")"
    echo "  want: $(printf '%q' "$want")"
    failures=$((failures + 1))
  fi
}

N="-1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1"  # groups 2-9 not set
printf 'The cat sat.\r\nthe CAT sat\nconcat\n' > "$dir/t"
expect literal 0 "$(printf '4 7 -1 -1 %s\n29 32 -1 -1 %s' "$N" "$N")" -- cat "$dir/t"
expect icase 0 "$(printf '4 7 -1 -1 %s\n18 21 -1 -1 %s\n29 32 -1 -1 %s' "$N" "$N" "$N")" -- --icase cat "$dir/t"
expect words 0 "$(printf '4 7 -1 -1 %s\n18 21 -1 -1 %s' "$N" "$N")" -- --icase --words cat "$dir/t"
expect lines 0 "$(printf '26 32 -1 -1 %s' "$N")" -- --lines concat "$dir/t"
expect none 1 "" -- dog "$dir/t"
expect groups 0 "$(printf '0 7 0 3 4 7 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1\n14 21 14 17 18 21 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1')" \
  -- --regex --icase '(the) (\w+)' "$dir/t"
expect backward 0 "$(printf '29 32 -1 -1 %s\n4 7 -1 -1 %s' "$N" "$N")" -- --backward cat "$dir/t"
expect anynl 0 "$(printf '8 17 -1 -1 %s' "$N")" -- --anynl "$(printf 'sat.\nthe')" "$dir/t"
expect escapes 0 "$(printf '8 17 -1 -1 %s' "$N")" -- --escapes 'sat.\nthe' "$dir/t"
expect empty 0 "$(printf '0 0 -1 -1 %s\n1 1 -1 -1 %s' "$N" "$N")" -- --regex 'x*' <(printf 'a')
expect error 2 "error 1: Pattern error: Unexpected end-of-group!" -- --regex 'a)' "$dir/t"
expect error6 2 "error 6: Pattern error: Unknown class!" -- --regex '[[:xdigit:]]' "$dir/t"
expect warning 0 "$(printf 'warning 1: Pattern warning: Unknown escape.\n2 3 -1 -1 %s' "$N")" -- --regex '\r' <(printf 'xxr')
expect dump 0 "$(printf '(0 (1 [19]+) \\1)\n0 4 0 2 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1')" \
  -- --regex --dump '([a-z]+)\1' <(printf 'abab')
expect usage 2 "usage: qpfind [--escapes] [--regex] [--icase] [--words] [--lines] [--anynl] [--backward] [--dump] PATTERN FILE" \
  -- --bogus x y z
expect unreadable 2 "qpfind: cannot read $dir/missing" -- cat "$dir/missing"

if [ "$failures" -ne 0 ]; then
  echo "$failures qpfind checks failed"
  exit 1
fi
echo "qpfind checks passed"
