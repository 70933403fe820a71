#!/usr/bin/env bash
# Starts or stops the private Wine session of a build: its own Xvfb, its own
# prefix (cloned from a template made once per machine) and a persistent
# wineserver bound to that display. With QP_WINE_DISPLAY set, that display is
# used instead of a private Xvfb.
#
#   wine-session.sh start | stop | status | template
#
# `template` only makes the machine's prefix template. The first one takes
# from 20 s to several minutes where 32-bit programs are emulated; the test
# runner makes it before the timed session starts.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

log() { echo "wine-session: $*" >&2; }

make_template() {
  local t="$QP_WINE_TEMPLATE"
  # A template made before wine32 was installed lacks the 32-bit side, and
  # every 32-bit program fails to start in it: make it again.
  template_ok() {
    [ -f "$t/.ready" ] && { ! qp_have_wine32 || [ -f "$t/drive_c/windows/syswow64/kernel32.dll" ]; }
  }
  template_ok && return 0
  mkdir -p "$(dirname "$t")"
  # The lock is this shell's alone: no process started here may inherit it,
  # or the persistent wineserver of a session would hold it for the whole
  # run and every other session would wait for it.
  exec 9>"$t.lock"
  flock 9
  if template_ok; then
    exec 9>&-
    return 0
  fi
  log "making the Wine prefix template (once per machine)"
  local began=$SECONDS
  rm -rf "$t"
  (
    export WINEPREFIX="$t"
    unset DISPLAY
    "$QP_WINE" wineboot --init </dev/null >/dev/null 2>&1 || true
    wineserver -w || true
    # Debian's Wine does not find its own fonts: copy them in.
    mkdir -p "$t/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.tt? "$t/drive_c/windows/Fonts/" 2>/dev/null || true
    local reg
    reg="$(mktemp --suffix=.reg)"
    cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Courier New"="Liberation Mono"
"Lucida Console"="DejaVu Sans Mono"
"Arial"="Liberation Sans"
"Times New Roman"="Liberation Serif"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    "$QP_WINE" regedit /S "$(winepath_of "$reg")" </dev/null >/dev/null 2>&1 || "$QP_WINE" regedit /S "$reg" </dev/null >/dev/null 2>&1
    wineserver -k || true
    wineserver -w || true
    rm -f "$reg"
  ) 9>&-
  touch "$t/.ready"
  exec 9>&-
  log "template made in $((SECONDS - began)) s"
}

winepath_of() { echo "Z:${1//\//\\}"; }

clone_prefix() {
  rm -rf "$WINEPREFIX"
  mkdir -p "$QP_WINE_DIR"
  cp -al "$QP_WINE_TEMPLATE" "$WINEPREFIX"
  # wineserver rewrites the registry by rename, but give the clone its own
  # copies anyway so that nothing can reach the template through a link.
  for f in "$QP_WINE_TEMPLATE"/*.reg; do
    cp --remove-destination "$f" "$WINEPREFIX/"
  done
}

start_xvfb() {
  local fdfile="$QP_WINE_DIR/displayfd"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$fdfile" </dev/null >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
  done
  if [ ! -s "$fdfile" ]; then
    kill "$pid" 2>/dev/null || true
    log "Xvfb did not start"
    exit 1
  fi
  echo "$pid" >"$QP_WINE_DIR/xvfb.pid"
  echo ":$(tr -dc '0-9' <"$fdfile")" >"$QP_WINE_DIR/display"
}

start() {
  stop_quietly
  make_template
  clone_prefix
  if [ -n "${QP_WINE_DISPLAY:-}" ]; then
    echo "$QP_WINE_DISPLAY" >"$QP_WINE_DIR/display"  # a display of the user's
  else
    start_xvfb
  fi
  export DISPLAY="$(cat "$QP_WINE_DIR/display")"
  # The session binds to the display of its first process: start it here,
  # detached, so that no test's pipes are inherited by Wine's services.
  wineserver -p </dev/null >/dev/null 2>&1
  "$QP_WINE" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
  log "started on $DISPLAY (prefix $WINEPREFIX)"
}

stop_quietly() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  local pidfile="$QP_WINE_DIR/xvfb.pid"
  if [ -f "$pidfile" ]; then
    local pid
    pid="$(cat "$pidfile")"
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "Xvfb" ]; then
      kill "$pid" 2>/dev/null || true
    fi
    rm -f "$pidfile"
  fi
  rm -f "$QP_WINE_DIR/display" "$QP_WINE_DIR/displayfd"
}

case "${1:-}" in
  start) start ;;
  stop) stop_quietly; log "stopped" ;;
  template) make_template ;;
  status) [ -f "$QP_WINE_DIR/display" ] && echo "running on $(cat "$QP_WINE_DIR/display")" || echo "not running" ;;
  *) echo "usage: $0 start|stop|status|template" >&2; exit 2 ;;
esac
