"""Fixtures of the end-to-end tests: the Wine environment, the OS state they touch, hosts.

The tests change the per-user proxy values and, so that the host's working files land in a
folder of their own, the per-user TEMP and TMP; every one of these registry values is put
back as it was when the session ends. Each host process is ended, with everything it
started, when its fixture ends, whatever the test did.
"""

import os
import shutil
import socket
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "driver"))

from orvanta_driver import wine  # noqa: E402
from orvanta_driver.host import HostProcess  # noqa: E402

ENVIRONMENT_KEY = r"HKCU\Environment"
PERSONALIZE_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize"
CORE_PORT = 10809
PROXY_ON = {"ProxyEnable": 1, "ProxyServer": "127.0.0.1:10809", "ProxyOverride": "<-loopback>"}
PROXY_OFF = {"ProxyEnable": 0, "ProxyServer": "", "ProxyOverride": ""}


def write_proxy_values(values):
    for name, value in values.items():
        wine.write_value(wine.INTERNET_SETTINGS, name,
                         "REG_DWORD" if name == "ProxyEnable" else "REG_SZ", value)


@pytest.fixture(scope="session")
def app_dir():
    """The runnable layout, run in a prefix of the end-to-end tests' own (WINEPREFIX, set by
    ctest): its registry, per-user TEMP and named objects are theirs alone, so the tests that
    use the other prefix can run beside them."""
    missing = [name for name in ("WINEPREFIX", "DISPLAY", "ORVANTA_POWERSHELL_STANDIN",
                                 "ORVANTA_WININET_STANDIN", "ORVANTA_RASAPI32_STANDIN")
               if not os.environ.get(name)]
    if missing:
        pytest.fail("run under ctest after scripts/wine.sh's wine_start: %s unset"
                    % ", ".join(missing))
    folder = os.environ.get("ORVANTA_APP_DIR", "")
    if not os.path.isfile(os.path.join(folder, "orvanta.exe")):
        pytest.fail("ORVANTA_APP_DIR holds no orvanta.exe: %r" % folder)
    wine.boot(os.environ["ORVANTA_POWERSHELL_STANDIN"], os.environ["ORVANTA_WININET_STANDIN"],
              os.environ["ORVANTA_RASAPI32_STANDIN"])
    yield folder
    wine.shut_down()


@pytest.fixture(scope="session")
def temp_dir(app_dir, tmp_path_factory):
    """The host's %TEMP% for the whole session; the Orvanta working folder appears in it."""
    folder = tmp_path_factory.mktemp("wintemp")
    saved_env = wine.SavedValues(ENVIRONMENT_KEY, ("TEMP", "TMP"))
    saved_proxy = wine.SavedValues(wine.INTERNET_SETTINGS, wine.PROXY_VALUES)
    try:
        for name in ("TEMP", "TMP"):
            wine.write_value(ENVIRONMENT_KEY, name, "REG_SZ", wine.to_windows_path(str(folder)))
        # The proxy is off before the tests: a disconnect puts back exactly that.
        write_proxy_values(PROXY_OFF)
        yield folder
    finally:
        saved_env.restore()
        saved_proxy.restore()


@pytest.fixture(scope="session")
def non_latin_layout(app_dir, temp_dir, tmp_path_factory):
    """(install folder, temporary folder, current folder) named in letters from outside every
    ANSI code page at once: the runnable layout copied into a Cyrillic folder, a temporary
    folder with Chinese letters and an emoji, and a folder to start the host from. The install
    and current folders each hold a planted powershell.exe that records its runs in
    planted-runs.txt, and planted dwmapi.dll, iphlpapi.dll, rasapi32.dll and wininet.dll that
    record their loads in planted-loads.txt; the current folder also holds a planted plugin_helper.dll, which
    the stand-in plug-ins load by name once started. The user prefers dark apps meanwhile, so
    the host calls dwmapi too."""
    planted = {"powershell.exe": os.environ.get("ORVANTA_PLANTED_POWERSHELL", "")}
    for dll in ("dwmapi.dll", "iphlpapi.dll", "rasapi32.dll", "wininet.dll"):
        planted[dll] = os.environ.get("ORVANTA_PLANTED_DLL", "")
    if not all(os.path.isfile(path) for path in planted.values()):
        pytest.fail("ORVANTA_PLANTED_POWERSHELL and ORVANTA_PLANTED_DLL (set by ctest) name "
                    "e2e_planted_powershell.exe and the e2e_planted_dll DLL")
    base = tmp_path_factory.mktemp("non-latin")
    install = base / "\u041e\u0440\u0432\u0430\u043d\u0442\u0430 \u041a\u043b\u0438\u0435\u043d\u0442"
    shutil.copytree(app_dir, str(install))
    temp = base / "\u4e34\u65f6 \u6587\u4ef6\U0001F600"
    temp.mkdir()
    current = base / "\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438"
    current.mkdir()
    for folder in (install, current):
        for name, path in planted.items():
            shutil.copy(path, str(folder / name))
    shutil.copy(planted["wininet.dll"], str(current / "plugin_helper.dll"))
    saved_theme = wine.SavedValues(PERSONALIZE_KEY, ("AppsUseLightTheme",))
    try:
        wine.write_value(PERSONALIZE_KEY, "AppsUseLightTheme", "REG_DWORD", 0)
        yield str(install), str(temp), str(current)
    finally:
        saved_theme.restore()


@pytest.fixture
def non_latin_temp(non_latin_layout, temp_dir):
    """The layout above, with the per-user TEMP and TMP on its folder for one test only."""
    try:
        for name in ("TEMP", "TMP"):
            wine.write_value(ENVIRONMENT_KEY, name, "REG_SZ",
                             wine.to_windows_path(non_latin_layout[1]))
        yield non_latin_layout
    finally:
        for name in ("TEMP", "TMP"):
            wine.write_value(ENVIRONMENT_KEY, name, "REG_SZ", wine.to_windows_path(str(temp_dir)))


@pytest.fixture(scope="session")
def log_dir(tmp_path_factory):
    return str(tmp_path_factory.mktemp("hostlogs"))


@pytest.fixture
def launch(app_dir, temp_dir, log_dir):
    """launch(args=(), env=None, alone=True) -> HostProcess, ended when the test ends. Unless
    told it starts beside a running one (alone=False), it first waits until no earlier host is
    left in the Wine server: a new start would take the second-instance path and end at once."""
    started = []

    def start(args=(), env=None, alone=True):
        if alone:
            no_host_left()
        host = HostProcess(app_dir, log_dir, args=args, env=env)
        started.append(host)
        return host

    yield start
    for host in started:
        host.stop()


def no_host_left():
    """Waits until every earlier host has left the Wine server: its window gone and its
    single-instance mutex no longer there, which the server keeps a moment after the process
    has ended."""
    code, out, _ = wine.run([probe_path(), "gone", "60"], timeout=90)
    assert code == 0, "an earlier orvanta.exe still holds its window or mutex: %r" % out


def port_accepts(port=CORE_PORT):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2.0):
            return True
    except OSError:
        return False


def probe_path():
    exe = os.environ.get("ORVANTA_WINDOW_PROBE")
    if not exe:
        pytest.fail("ORVANTA_WINDOW_PROBE (set by ctest) names e2e_window_probe.exe")
    return exe


def probe(command, env=None):
    """Runs the window probe; returns its output, e.g. {'count': 1, 'visible': 1, ...}."""
    code, out, _ = wine.run([probe_path(), command], timeout=60, env=env)
    fields = dict(part.split("=") for part in out.decode().split())
    return code, {k: int(v) for k, v in fields.items()}


def wait_exit(host, seconds):
    try:
        return host.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        pytest.fail("orvanta.exe still running after %d s\n%s" % (seconds, host.stdout()))
