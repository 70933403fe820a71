#!/usr/bin/env bash
# Runs a benchmark program in a Wine session of its own (private Xvfb
# and prefix under the program's build folder), then stops the session.
set -euo pipefail
exe="${1:?usage: wine-bench.sh program.exe}"
root="$(cd "$(dirname "$0")/.." && pwd)"
export QP_WINE_DIR="$(cd "$(dirname "$exe")/.." && pwd)/wine"
"$root/scripts/wine-session.sh" start
trap '"$root/scripts/wine-session.sh" stop' EXIT
"$root/scripts/wine-run.sh" "$exe"
