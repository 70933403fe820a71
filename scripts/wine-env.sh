# Sourced by the Wine scripts: the private prefix and session of one build
# folder. QP_WINE_DIR is that folder's wine/ (default: build/win64/wine).
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
: "${QP_WINE_DIR:=$root/build/win64/wine}"
export QP_WINE_DIR
export QP_WINE_TEMPLATE="${QP_WINE_TEMPLATE:-$root/build/wine-template}"
export WINEPREFIX="$QP_WINE_DIR/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono/Gecko prompts; winedbg off, so that a crash exits at once (code 5).
export WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d'
# The ANSI code page follows LC_ALL: C.UTF-8 gives 1252, zh_CN.UTF-8 936,
# ja_JP.UTF-8 932. Wine needs no generated system locale for that; bash would
# only warn that it has none.
{ export LC_ALL="${QP_WINE_LOCALE:-C.UTF-8}"; } 2>/dev/null
if [ -f "$QP_WINE_DIR/display" ]; then
  export DISPLAY="$(cat "$QP_WINE_DIR/display")"
fi
# wine64 is not on PATH; the wine wrapper starts it.
QP_WINE=/usr/bin/wine
