# Sourced by the build and run scripts: a private Wine prefix and a virtual display.
#
# Wine's server inherits the standard streams of whoever starts it first, and a reader of
# those streams (ctest, a pipe) would then wait for ever. So the server and the prefix are
# started here with all three streams on /dev/null before anything else runs under Wine.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

wine_start() {  # wine_start <prefix-dir>
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$WINEPREFIX"
  if [ -z "${DISPLAY:-}" ]; then
    local display=":$((90 + RANDOM % 400))"
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY="$display"
  fi
  # A persistent server first, then the prefix: wineboot leaves Wine's service processes
  # running under this server, detached from every later reader.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  timeout 120 "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
  # The desktop process is otherwise started by the first program that opens a window, and
  # keeps that program's standard output open after it has ended: a test whose output a
  # reader waits for then seemed to run 10 to 20 seconds longer. Started here it holds nothing.
  "$WINE" explorer.exe /desktop </dev/null >/dev/null 2>&1 &
  for _ in $(seq 50); do
    pgrep -f 'explorer.exe /desktop' >/dev/null && break
    sleep 0.2
  done
}

wine_stop() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
