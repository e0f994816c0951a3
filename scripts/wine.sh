# Sourced by the build and run scripts: a private Wine prefix and a virtual display.
#
# Wine's server inherits the standard streams of whoever starts it first, and a reader of
# those streams (ctest, a pipe) would then wait for ever. So the server and the prefix are
# started here with all three streams on /dev/null before anything else runs under Wine.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# wine_start <prefix-dir> [WxH]: with a screen size, or without a DISPLAY, on a virtual display
# of its own (1280x1024 unless given). Wine keeps the monitors of the display its server first
# saw until the server ends, so another screen size needs a prefix whose server is not running.
wine_start() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  # No debugger for a crash: Wine ignores SEM_NOGPFAULTERRORBOX, and its debugger opens a dialog
  # on the display and waits, so a crashing test would hang instead of failing with its code.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
  mkdir -p "$WINEPREFIX"
  if [ -z "${DISPLAY:-}" ] || [ -n "${2:-}" ]; then
    # Xvfb picks a free display number and writes it once it accepts connections.
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 1 -screen 0 "${2:-1280x1024}x24" -nolisten tcp \
      </dev/null >"$number_file" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do
      [ "$(wc -l <"$number_file")" -gt 0 ] && break
      sleep 0.1
    done
    export DISPLAY=":$(head -n 1 "$number_file")"
    rm -f "$number_file"
  fi
  # A persistent server first, then the prefix: wineboot leaves Wine's service processes
  # running under this server, detached from every later reader.
  # Wine's programs by path: a bare name would run them as start.exe's children, inside a
  # kill-on-close job (see driver/orvanta_driver/wine.py).
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  timeout 120 "$WINE" 'C:\windows\system32\wineboot.exe' -i </dev/null >/dev/null 2>&1 || true
  # The desktop process is otherwise started by the first program that opens a window, and
  # keeps that program's standard output open after it has ended: a test whose output a
  # reader waits for then seemed to run 10 to 20 seconds longer. Started here it holds nothing.
  "$WINE" 'C:\windows\system32\explorer.exe' /desktop </dev/null >/dev/null 2>&1 &
  for _ in $(seq 50); do
    wine_desktop_running && break
    sleep 0.2
  done
}

# Whether the desktop process of this prefix runs. Other prefixes on the machine (other
# trees, other users of it) have theirs too; a window opened before ours is up waits for it
# about 10 seconds.
wine_desktop_running() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

wine_stop() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
