#!/usr/bin/env bash
# Starts the built (x86-64) quillpad.exe under Wine, optionally with a file.
# With a display, the program runs there until it is closed. Without one, it
# runs on a private Xvfb: once its window is up, a screenshot goes to
# build/screenshot.png and the window is closed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
file="${1:-}"
exe="$root/build/win64/bin/quillpad.exe"
drive="$root/build/win64/bin/qpdrive.exe"

args=()
if [ -n "$file" ]; then
  abs="$(realpath -m "$file")"
  args+=("Z:${abs//\//\\}")
fi

export QP_WINE_DIR="$root/build/run-wine"
if [ -n "${DISPLAY:-}" ] && [ -z "${QP_HEADLESS:-}" ]; then
  QP_WINE_DISPLAY="$DISPLAY" "$root/scripts/wine-session.sh" start
  trap '"$root/scripts/wine-session.sh" stop' EXIT
  "$root/scripts/wine-run.sh" "$exe" "${args[@]}"
  exit $?
fi

"$root/scripts/wine-session.sh" start
trap '"$root/scripts/wine-session.sh" stop' EXIT
source "$root/scripts/wine-env.sh"

"$root/scripts/wine-run.sh" "$exe" "${args[@]}" &
app=$!
if ! "$root/scripts/wine-run.sh" "$drive" wait QuilPad 30000; then
  echo "run: the main window did not appear" >&2
  kill "$app" 2>/dev/null || true
  exit 1
fi
sleep 1
/usr/bin/import -display "$DISPLAY" -window root "$root/build/screenshot.png"
"$root/scripts/wine-run.sh" "$drive" close QuilPad 10000 || true
wait "$app"
rc=$?
echo "run: screenshot saved to build/screenshot.png; the window was closed (exit code $rc)"
