"""Run by CTest inside the Wine 10 chroot (scripts/wine10.sh run --fresh): the proxy that
WinINet's per-connection API sets reaches WinHTTP, the way Chromium, Edge and .NET read it, and
goes again with a set back to direct. Only a WinINet that keeps the per-connection value
(DefaultConnectionSettings) does this: under Wine 8 WinHTTP never reports the proxy.

    python3 proxy_client_check.py <e2e_proxy_client.exe>

Needs a freshly booted prefix (WINEPREFIX, DISPLAY) and port 10809, on which a listener of its
own plays the proxy and counts what reaches it. Prints each case; exit code 1 on any fault.
"""

import http.server
import os
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "driver"))

from orvanta_driver import wine  # noqa: E402

PROXY = "127.0.0.1:10809"
TARGET = "http://127.0.0.2:9/orvanta-wine10"  # nothing listens there: only a proxy answers
CONNECTION_VALUE = r"DefaultConnectionSettings"
CONNECTIONS = wine.INTERNET_SETTINGS + r"\Connections"

# (what is shown, wininet-set arguments or None, wininet-get, winhttp-get, what the proxy sees
# of one winhttp-fetch of TARGET: its request line, or None when the request must go direct
# and fail)
CASES = [
    ("a fresh prefix: WinHTTP detects automatically and names no proxy", None,
     ["flags=0", "flags_ui=error:87", "server=(null)", "bypass=(null)", "autoconfig_url=(null)"],
     ["auto_detect=1", "auto_config_url=(null)", "proxy=(null)", "proxy_bypass=(null)"], None),
    ("the proxy set through the per-connection API is WinHTTP's too",
     ["3", PROXY, "<-loopback>", "-"],
     ["flags=3", "flags_ui=error:87", "server=" + PROXY, "bypass=<-loopback>",
      "autoconfig_url=(null)"],
     ["auto_detect=0", "auto_config_url=(null)", "proxy=" + PROXY, "proxy_bypass=<-loopback>"],
     "GET %s HTTP/1.1" % TARGET),
    ("back to direct: WinHTTP names no proxy again", ["1", "-", "-", "-"],
     ["flags=1", "flags_ui=error:87", "server=(null)", "bypass=(null)", "autoconfig_url=(null)"],
     ["auto_detect=0", "auto_config_url=(null)", "proxy=(null)", "proxy_bypass=(null)"], None),
]


class CountingProxy(http.server.BaseHTTPRequestHandler):
    seen = []

    def do_GET(self):
        CountingProxy.seen.append(self.requestline)
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


def client(exe, *args):
    code, out, _ = wine.run([exe] + list(args), timeout=60)
    return code, out.decode("utf-8", "replace").replace("\r\n", "\n").split()


def main():
    exe = sys.argv[1]
    faults = []
    failed = set()

    def expect(description, what, got, wanted):
        if got != wanted:
            faults.append("%s: %s\n    got    %r\n    wanted %r" % (description, what, got, wanted))
            failed.add(description)

    version = subprocess.run([wine.WINE, "--version"], capture_output=True, text=True).stdout
    expect("the chroot", "wine --version", version.startswith("wine-10."), True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 10809), CountingProxy)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        for description, set_args, wininet, winhttp, proxied in CASES:
            print("case: %s" % description)
            if set_args:
                expect(description, "wininet-set", client(exe, "wininet-set", *set_args),
                       (0, ["set=ok", "settings_changed=ok"]))
                expect(description, "Connections\\" + CONNECTION_VALUE + " written",
                       CONNECTION_VALUE in wine.read_values(CONNECTIONS), True)
            expect(description, "wininet-get", client(exe, "wininet-get"), (0, wininet))
            expect(description, "winhttp-get", client(exe, "winhttp-get"), (0, winhttp))
            before = len(CountingProxy.seen)
            code, lines = client(exe, "winhttp-fetch", TARGET)
            if proxied:
                expect(description, "winhttp-fetch", (code, lines),
                       (0, ["via=proxy:" + PROXY, "status=200"]))
            else:
                expect(description, "winhttp-fetch exit code and last line",
                       (code, lines[-1:]), (3, ["error=12029"]))
            expect(description, "requests the proxy saw", CountingProxy.seen[before:],
                   [proxied] if proxied else [])
    finally:
        server.shutdown()
    for fault in faults:
        print("FAULT " + fault)
    print("wine10_proxy_client: %d of %d cases as expected" % (
        sum(1 for case in CASES if case[0] not in failed), len(CASES)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
