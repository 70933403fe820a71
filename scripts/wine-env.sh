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
# Whether the kernel runs 32-bit x86 programs at all: some virtual machines'
# do not ("Exec format error"), whatever packages are installed. Asked of a
# 93-byte i386 program that only exits.
qp_kernel_runs_32bit() {
  local probe
  probe="$(mktemp)"
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  local rc=$?
  rm -f "$probe"
  [ "$rc" -eq 0 ]
}

qp_wine32_installed() {
  [ -z "${QP_PRETEND_NO_WINE32:-}" ] && [ -x /usr/lib/wine/wine ] && [ -d /usr/lib/i386-linux-gnu/wine/i386-unix ]
}
# Whether 32-bit Windows programs run here.
qp_have_wine32() {
  qp_wine32_installed && qp_kernel_runs_32bit
}
# Why 32-bit Windows programs cannot be run here (empty when they can).
qp_wine32_problem() {
  if ! qp_kernel_runs_32bit; then
    echo "this machine's kernel does not run 32-bit programs (Exec format error)"
  elif ! qp_wine32_installed; then
    echo "32-bit Wine (wine32:i386) is not installed"
  fi
}

# Where 32-bit programs run through qemu's user-mode emulator (see
# install-deps.sh), the emulated process gets the whole 4 GiB, top page
# included; natively the stack takes the top. 32-bit Wine's free-range list
# cannot hold a region that ends in the last 64 KiB (its end wraps to 0), and
# a top-down allocation placed there is later handed out twice. Keep the
# emulated address space below that, as on real hardware.
export QEMU_RESERVED_VA=0xffff0000

# wine64 is not on PATH; the wine wrapper starts it, and with wine32 it runs
# 32-bit programs in the same prefix. The wrapper starts everything through
# the 32-bit loader when wine32 is installed: where the kernel refuses that,
# wine64 is started directly.
if qp_wine32_installed && ! qp_kernel_runs_32bit; then
  QP_WINE=/usr/lib/wine/wine64
  export WINELOADER=/usr/lib/wine/wine64
else
  QP_WINE=/usr/bin/wine
fi
