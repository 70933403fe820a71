#!/usr/bin/env bash
# Runs every libFuzzer target for a while, growing its corpus in a scratch
# folder seeded from the committed one.
#   fuzz.sh BIN_DIR SECONDS
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$1"
seconds="$2"
for target in "$bin"/fuzz_*; do
  name="$(basename "$target")"
  name="${name#fuzz_}"
  work="$root/build/fuzz/corpus/$name"
  mkdir -p "$work"
  echo "== $name =="
  "$target" -max_total_time="$seconds" -max_len=4096 "$work" "$root/fuzz/corpus/$name"
done
