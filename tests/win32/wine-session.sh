#!/usr/bin/env bash
# The Wine the Windows tests run in, one per test run:
#   wine-session.sh start DIR   a private Xvfb, a fresh WINEPREFIX in DIR/prefix,
#                               one persistent wineserver, an XEmbed tray host
#   wine-session.sh stop DIR    ends them and removes DIR
#   wine-session.sh run DIR CMD...   CMD in that session's environment
# DIR/env holds the variables every Wine process of the run needs.
set -euo pipefail
action=${1:?usage: wine-session.sh start|stop|run DIR ...}
dir=${2:?usage: wine-session.sh start|stop|run DIR ...}
shift 2

stop() {
  [ -f "$dir/env" ] && { set -a; . "$dir/env"; set +a; wineserver -k 2>/dev/null || true; }
  for f in "$dir"/*.pid; do
    [ -f "$f" ] || continue
    kill "$(cat "$f")" 2>/dev/null || true
  done
  rm -rf "$dir"
}

case "$action" in
start)
  stop
  mkdir -p "$dir/prefix"
  exec 3>"$dir/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  exec 3>&-
  for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
  [ -s "$dir/display" ] || { cat "$dir/xvfb.log"; exit 1; }
  cat >"$dir/env" <<ENV
DISPLAY=:$(head -1 "$dir/display")
WINEPREFIX=$dir/prefix
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES=mscoree,mshtml=
DBUS_SESSION_BUS_ADDRESS=disabled:
ENV
  set -a; . "$dir/env"; set +a
  # Kept for the whole run: each Wine process would otherwise start (and
  # wait for) a server of its own.
  wineserver -p </dev/null >"$dir/wineserver.log" 2>&1
  wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  # A crashed program ends, as on Windows, instead of waiting in winedbg
  # (which would also keep the test's output pipe open).
  /usr/lib/wine/wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
    /d 'cmd.exe /c exit' /f </dev/null >>"$dir/wineboot.log" 2>&1 || true
  # A fixed width: Wine sizes its stand-in for the panel when the first icon
  # docks and never again.
  trayer --edge bottom --align right --widthtype pixel --width 160 --height 32 \
    --SetDockType false --SetPartialStrut false >"$dir/trayer.log" 2>&1 &
  echo $! >"$dir/trayer.pid"
  ;;
stop) stop ;;
run)
  set -a; . "$dir/env"; set +a
  # Debian's `wine` script asks for the 32-bit Wine on every start; the
  # programs here are 64-bit.
  case "${1:-}" in
    *.exe) exec /usr/lib/wine/wine64 "$@" ;;
    *) exec "$@" ;;
  esac
  ;;
*) echo "usage: wine-session.sh start|stop|run DIR ..." >&2; exit 2 ;;
esac
