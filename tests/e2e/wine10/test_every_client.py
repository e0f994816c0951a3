"""The real orvanta.exe under Debian 13's Wine 10, whose WinINet keeps the proxy per connection
as Windows does (the value WinHTTP, and so Chromium, Edge and .NET, reads): while connected,
WinHTTP and WinINet clients go through the core, whatever the user had; after the disconnect,
every view is what it was.

Run by CTest inside the chroot of scripts/wine10.sh (run --fresh), which boots the prefix; one
host plays a connection from each starting profile in turn. A loopback listener of the test's
own plays the company's proxy (and serves its configuration script), so a client that does not
go through the core is seen going there instead.
"""

import http.server
import json
import os
import subprocess
import sys
import threading
import time

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "driver"))

from orvanta_driver import wine  # noqa: E402
from orvanta_driver.bridge import VPN_CHANNEL  # noqa: E402
from orvanta_driver.codec import Success  # noqa: E402
from orvanta_driver.host import HostProcess  # noqa: E402

OURS = "127.0.0.1:10809"
# Nothing listens there: only a proxy can answer.
TARGET = "http://127.0.0.2:9/orvanta-wine10"
CORE_LOG_HEADER = "\n----- sing-box stdout/stderr -----\n"
SAMPLE_CONFIG = os.path.join(os.path.dirname(__file__), "..", "..", "..", "driver",
                             "sample_config.json")
PLAIN = ("ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL")


class CompanyProxy(http.server.BaseHTTPRequestHandler):
    """The company's proxy: answers every proxied request, and serves the script that names
    it."""
    seen = []

    def do_GET(self):
        if self.path == "/proxy.pac":
            body = ("function FindProxyForURL(url, host) { return \"PROXY %s\"; }"
                    % self.server.address).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/x-ns-proxy-autoconfig")
        else:
            CompanyProxy.seen.append(self.path)
            body = b"company"
            self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def company():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), CompanyProxy)
    server.address = "127.0.0.1:%d" % server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield server.address
    server.shutdown()


@pytest.fixture(scope="module")
def host(tmp_path_factory):
    version = subprocess.run([wine.WINE, "--version"], capture_output=True, text=True).stdout
    assert version.startswith("wine-10."), "not the chroot's Wine: %r" % version
    wine.install_standins(os.environ["ORVANTA_POWERSHELL_STANDIN"])
    log_dir = str(tmp_path_factory.mktemp("hostlogs"))
    with HostProcess(os.environ["ORVANTA_APP_DIR"], log_dir) as process:
        with process.connect() as client:
            yield process, client
            client.close_window()
            assert process.wait(timeout=90) == 0


def run(exe, *args):
    code, out, _ = wine.run([exe] + list(args), timeout=60)
    return code, out.decode("utf-8", "replace").replace("\r\n", "\n").split("\n")


def client(*args):
    return run(os.environ["ORVANTA_PROXY_CLIENT"], *args)


def views():
    """What every client reads: WinINet's per-connection query, WinHTTP's view, the plain
    values."""
    values = wine.read_values(wine.INTERNET_SETTINGS)
    return {"wininet": client("wininet-get")[1], "winhttp": client("winhttp-get")[1],
            "plain": {name: values.get(name) for name in PLAIN}}


def fetch_with_winhttp():
    code, lines = client("winhttp-fetch", TARGET)
    return code, [line for line in lines if line.startswith(("via=", "status=", "error="))]


def core_log(vpn):
    return vpn.invoke(VPN_CHANNEL, "getLogs").value.split(CORE_LOG_HEADER, 1)[1]


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


# (what it is, the settings page's set before the connection, where WinHTTP goes then, the views
# that must be back afterwards). A fresh profile first: every set after it leaves a connection
# value behind. It has none; the host deletes the one the connection made, and WinHTTP goes back
# to detecting a proxy. Wine's WinINet itself tells that state apart from a deleted value (it
# reports flags 0 while the Connections key is missing, 9 once it exists) and writes a DWORD
# ProxyEnable at every query, so only WinHTTP's view is compared there.
PROFILES = [
    ("a fresh profile", None, None, ("winhttp",)),
    ("a direct profile", ["1", "-", "-", "-"], None, ("wininet", "winhttp", "plain")),
    ("a company proxy set as the settings page sets it", ["3", "{company}", "<local>", "-"],
     "via=proxy:{company}", ("wininet", "winhttp", "plain")),
    ("a configuration script", ["5", "-", "-", "http://{company}/proxy.pac"],
     "via=script-proxy:{company}", ("wininet", "winhttp", "plain")),
]


@pytest.mark.parametrize("description, profile, company_route, compared", PROFILES,
                         ids=[p[0] for p in PROFILES])
def test_every_client_goes_through_the_core_only_while_connected(
        host, company, description, profile, company_route, compared):
    process, vpn = host
    if profile is not None:
        code, out = client("wininet-set", *[a.format(company=company) for a in profile])
        assert code == 0, out
    before = views()
    route = company_route.format(company=company) if company_route else None
    code, seen = fetch_with_winhttp()
    assert (code == 0) == (route is not None), seen
    if route:
        assert seen == [route, "status=200"]

    with open(SAMPLE_CONFIG, encoding="utf-8") as f:
        assert vpn.invoke(VPN_CHANNEL, "startV2Ray", {"config": f.read()}) == Success(True)
    logs = vpn.invoke(VPN_CHANNEL, "getLogs").value
    assert "] SUCCESS: System proxy set successfully to %s\n" % OURS in logs, logs
    # WinHTTP names the core and nothing that would win over it; both clients go through it.
    assert client("winhttp-get")[1][:4] == [
        "auto_detect=0", "auto_config_url=(null)", "proxy=" + OURS, "proxy_bypass=<-loopback>"]
    proxied = "sing-box stand-in: proxied GET %s HTTP/1.1" % TARGET
    earlier = core_log(vpn).count(proxied)
    assert fetch_with_winhttp() == (0, ["via=proxy:" + OURS, "status=200"])
    code, out = run(os.environ["ORVANTA_WINDOW_PROBE"], "fetch", TARGET)
    assert code == 0 and out[0].startswith("status=200"), out
    assert wait_for(lambda: core_log(vpn).count(proxied) == earlier + 2, 15), core_log(vpn)

    assert vpn.invoke(VPN_CHANNEL, "stopV2Ray") == Success(True)
    logs = vpn.invoke(VPN_CHANNEL, "getLogs").value
    assert logs.split(CORE_LOG_HEADER)[0].endswith("] sing-box stopped\n"), logs
    after = views()
    print(json.dumps({"profile": description, "before": before, "after": after}, indent=1))
    assert {view: after[view] for view in compared} == {view: before[view] for view in compared}
    code, seen = fetch_with_winhttp()
    if route:
        assert (code, seen) == (0, [route, "status=200"])
    else:
        assert code == 3, seen
    assert core_log(vpn).count(proxied) == earlier + 2
