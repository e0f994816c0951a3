"""What a Wine (or Windows) keeps where for the per-user proxy: WinINet's per-connection view,
WinHTTP's view, the plain values and the connection values, after each kind of change (not a
test; observations only). Needs a booted prefix that nothing else uses, and port 10809:

    rm -rf build/win/wineprefix-views8; flock /tmp/orvanta-e2e.lock bash -c 'source scripts/wine.sh
        wine_start $PWD/build/win/wineprefix-views8; PYTHONPATH=driver python3 \
        tools/measure/proxy_views.py build/win/tests/e2e/e2e_proxy_client.exe; wine_stop'
    scripts/wine10.sh run --fresh -- env PYTHONPATH=driver python3 tools/measure/proxy_views.py \\
        build/win/tests/e2e/e2e_proxy_client.exe

Prints each step's views as they are, in Markdown. A listener of its own on 127.0.0.1:10809
plays a proxy (it counts the requests it answers) and serves a configuration script that names
it.
"""

import http.server
import os
import struct
import subprocess
import sys
import threading
import time

from orvanta_driver import wine

SETTINGS = wine.INTERNET_SETTINGS
CONNECTIONS = SETTINGS + r"\Connections"
PLAIN = ("ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL")
PROXY = "127.0.0.1:10809"
TARGET = "http://127.0.0.2:9/orvanta-views"  # nothing listens there: direct fails
PAC_URL = "http://%s/proxy.pac" % PROXY  # served by the listener below
VPN = "Some VPN"
CLIENT = None  # e2e_proxy_client.exe, from the command line
CYRILLIC_VPN = "\u041c\u043e\u0451 VPN-\u043f\u043e\u0434\u043a\u043b\u044e\u0447\u0435\u043d\u0438\u0435"


class Proxy(http.server.BaseHTTPRequestHandler):
    requests = []

    def do_GET(self):
        Proxy.requests.append(self.path)
        if self.path.endswith("/proxy.pac"):
            body = b'function FindProxyForURL(url, host) { return "PROXY %s"; }' % PROXY.encode()
            kind = "application/x-ns-proxy-autoconfig"
        else:
            body, kind = b"through the proxy", "text/plain"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass



def client(*args):
    started = time.monotonic()
    code, out, err = wine.run([CLIENT] + list(args), timeout=120)
    lines = out.decode("utf-8", "replace").replace("\r\n", "\n").strip().split("\n")
    return code, [line for line in lines if line], time.monotonic() - started


def decode_connection(hex_text):
    """The binary connection value as WinINet writes it: version, counter, flags, then the
    server, bypass list and script URL, each a length and that many bytes."""
    data = bytes.fromhex(hex_text)
    try:
        version, counter, flags = struct.unpack_from("<III", data, 0)
        at, texts = 12, []
        for _ in range(3):
            (length,) = struct.unpack_from("<I", data, at)
            texts.append(data[at + 4:at + 4 + length].decode("latin-1"))
            at += 4 + length
        return "version=0x%x counter=%d flags=%d server=%r bypass=%r url=%r rest=%s" % (
            version, counter, flags, texts[0], texts[1], texts[2], data[at:].hex())
    except struct.error:
        return "undecodable"


def views(title, connections=()):
    if title:
        print("\n### %s\n" % title)
    for name in (None,) + tuple(connections):
        code, lines, _ = client("wininet-get", *((name,) if name else ()))
        print("- wininet-get%s (exit %d): `%s`" % (" " + repr(name) if name else "", code,
                                                   " | ".join(lines)))
    code, lines, _ = client("winhttp-get")
    print("- winhttp-get (exit %d): `%s`" % (code, " | ".join(lines)))
    values = wine.read_values(SETTINGS)
    print("- plain: `%s`" % " | ".join(
        "%s=%s" % (n, "%s:%r" % values[n] if n in values else "absent") for n in PLAIN))
    stored = wine.read_values(CONNECTIONS)
    if not stored:
        print("- Connections: no key or no values")
    for name, (kind, data) in sorted(stored.items()):
        shown = decode_connection(data) if kind == "REG_BINARY" and data else repr(data)
        print("- Connections\\%s (%s): `%s`" % (name, kind, shown))


def step(connection, *set_args):
    """wininet-set with set_args, then every view (also of the named connection, if any)."""
    shown = " ".join(repr(a) for a in set_args)
    code, lines, _ = client("wininet-set", *set_args)
    print("\n### wininet-set %s\n\n- exit %d: `%s`" % (shown, code, " | ".join(lines)))
    views(None, [connection] if connection else [])


def fetch():
    before = len(Proxy.requests)
    code, lines, seconds = client("winhttp-fetch", TARGET)
    print("- winhttp-fetch (exit %d, %.1f s): `%s`; the proxy saw %s" % (
        code, seconds, " | ".join(lines), Proxy.requests[before:] or "nothing"))


def watch(title, action):
    out = os.path.join(os.environ.get("TMPDIR", "/tmp"), "orvanta-watch.txt")
    watcher = wine.start([CLIENT, "watch", "4"], out)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        with open(out, "rb") as f:
            if b"ready" in f.read():
                break
        time.sleep(0.05)
    action()
    watcher.wait(timeout=60)
    with open(out, "rb") as f:
        fired = f.read().decode().replace("\r\n", "\n").split()
    print("- watch around %s: `%s`" % (title, " ".join(fired[1:])))


def main():
    global CLIENT
    CLIENT = sys.argv[1]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 10809), Proxy)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("## %s, %s" % (subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True,
                                        text=True).stdout.strip(), os.environ["WINEPREFIX"]))

    views("fresh prefix")
    code, lines, _ = client("ras-entries")
    print("- ras-entries (exit %d): `%s`" % (code, " | ".join(lines)))
    fetch()

    wine.write_value(SETTINGS, "ProxyEnable", "REG_DWORD", 1)
    wine.write_value(SETTINGS, "ProxyServer", "REG_SZ", "10.1.2.3:3128")
    wine.write_value(SETTINGS, "ProxyOverride", "REG_SZ", "<local>")
    views("only the three plain values written (reg add: DWORD 1, 10.1.2.3:3128, <local>)")
    wine.write_value(SETTINGS, "ProxyEnable", "REG_SZ", "1")
    views("then ProxyEnable REG_SZ \"1\"")
    wine.write_value(SETTINGS, "ProxyEnable", "REG_DWORD", 0)
    wine.delete_value(SETTINGS, "ProxyServer")
    wine.delete_value(SETTINGS, "ProxyOverride")
    views("plain values put back (ProxyEnable DWORD 0, no ProxyServer, no ProxyOverride)")

    watch("the first wininet-set 3", lambda: client("wininet-set", "3", PROXY, "<-loopback>", "-"))
    views("after wininet-set 3 %s <-loopback> - (inside the watch above)" % PROXY)
    fetch()
    wine.write_value(SETTINGS, "ProxyEnable", "REG_SZ", "1")
    views("then ProxyEnable REG_SZ \"1\" over it")
    wine.write_value(SETTINGS, "ProxyServer", "REG_SZ", "10.7.7.7:3128")
    views("then only ProxyServer written (reg add 10.7.7.7:3128)")
    wine.write_value(SETTINGS, "ProxyEnable", "REG_DWORD", 0)
    views("then only ProxyEnable DWORD 0 written")
    client("wininet-set", "3", PROXY, "<-loopback>", "-")

    step(None, "5", "-", "-", PAC_URL)
    fetch()
    step(None, "3", PROXY, "<-loopback>", PAC_URL)
    fetch()
    step(None, "5", "-", "-", PAC_URL)
    step(None, "3", PROXY, "<-loopback>", "-")
    step(None, "9", "-", "-", "-")
    fetch()
    step(None, "3", "", "", "")
    step(None, "1", "-", "-", "-")
    fetch()

    step(VPN, "3", "10.9.9.9:8080", "<local>", "-", VPN)
    step(CYRILLIC_VPN, "3", "10.8.8.8:8080", "<local>", "-", CYRILLIC_VPN)
    step(None, "1", "-", "-", "-")

    # Only the connection value changes: the script URL without its flag (the plain values
    # stay as they are), then writes of that value alone: the same data, another counter.
    client("wininet-set", "3", PROXY, "<-loopback>", "-")
    watch("a wininet-set that changes only the script URL (flag unset)",
          lambda: client("wininet-set", "3", PROXY, "<-loopback>", PAC_URL))
    stored = wine.read_values(CONNECTIONS).get("DefaultConnectionSettings")
    if stored:
        watch("a reg add of Connections\\DefaultConnectionSettings alone (the same data)",
              lambda: wine.write_value(CONNECTIONS, "DefaultConnectionSettings", "REG_BINARY",
                                       stored[1]))
        data = stored[1][:8] + "%02x" % (int(stored[1][8:10], 16) ^ 0x7F) + stored[1][10:]
    else:
        # Where WinINet writes none, one as Wine 10's WinINet writes it for the same settings.
        data = struct.pack("<III", 0x46, 1, 3)
        for text in (PROXY.encode(), b"<-loopback>", b""):
            data += struct.pack("<I", len(text)) + text
        data = (data + bytes(40)).hex()
    watch("a reg add of Connections\\DefaultConnectionSettings alone (new data)",
          lambda: wine.write_value(CONNECTIONS, "DefaultConnectionSettings", "REG_BINARY", data))
    views("at the end")
    server.shutdown()


if __name__ == "__main__":
    main()
