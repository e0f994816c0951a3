"""The real orvanta.exe under Wine, played through the UI bridge like the UI program would.

The tests that need a fresh process come first, each ending its own host. One host
(`main_host`) is then shared by the tests that do not need a fresh process; they run in file
order and the last of them closes it. Only one instance can run at a time, so the shared host
must not start before the fresh ones have ended.
"""

import json
import os
import threading
import time

import pytest

from conftest import (CORE_PORT, PROXY_OFF, PROXY_ON, no_host_left, port_accepts, probe,
                      probe_path, wait_exit, write_proxy_values)
from orvanta_driver import wine
from orvanta_driver.bridge import SPEED_CHANNEL, VPN_CHANNEL, BridgeError
from orvanta_driver.codec import Success
from orvanta_driver.session import push_loopback_traffic

SAMPLE_CONFIG_PATH = os.path.join(os.path.dirname(__file__), "..", "..", "driver",
                                  "sample_config.json")
ARGUMENTS = ["two words", "\u041f\u0440\u0438\u0432\u0435\u0442 \u4e2d\u6587\U0001F600", "", "--last"]
PLUGINS = [
    ("ConnectivityPlusWindowsPlugin", "connectivity_plus_plugin.dll"),
    ("ScreenRetrieverPlugin", "screen_retriever_plugin.dll"),
    ("SystemTrayPlugin", "system_tray_plugin.dll"),
    ("UrlLauncherWindows", "url_launcher_windows_plugin.dll"),
    ("WindowManagerPlugin", "window_manager_plugin.dll"),
]
# A company's proxy with its bypass list, as the user set it before connecting.
COMPANY_PROXY = {"ProxyEnable": 1, "ProxyServer": "corp-proxy.example:8080",
                 "ProxyOverride": "*.corp.example;<local>"}


def sample_config(**standin):
    """The sample configuration; with arguments, it tells the stand-in core how to misbehave."""
    with open(SAMPLE_CONFIG_PATH, encoding="utf-8") as f:
        text = f.read()
    return json.dumps(dict(json.loads(text), standin=standin)) if standin else text


CORE_LOG_HEADER = "\n----- sing-box stdout/stderr -----\n"


def messages(logs):
    """The service log's messages, without their time stamps."""
    service = logs.split(CORE_LOG_HEADER, 1)[0]
    return [line.split("] ", 1)[1] for line in service.split("\n") if line.startswith("[")]


def ends_with(client, *expected):
    """The service log's messages, which must end with `expected`."""
    got = messages(client.invoke(VPN_CHANNEL, "getLogs").value)
    assert got[-len(expected):] == list(expected), got[-len(expected) - 3:]
    return got


def wait_for(condition, seconds, step=0.2):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


def start_core(host, client, config=None):
    reply = client.invoke(VPN_CHANNEL, "startV2Ray", {"config": config or sample_config()})
    assert reply == Success(True)
    # Alive after a second is no promise of listening yet: a loaded machine starts it slower.
    assert wait_for(port_accepts, 15), "stand-in core not listening on %d" % CORE_PORT
    assert host.offspring(), "no process of the host's own besides itself"
    assert wine.proxy_values() == PROXY_ON


def test_a_failing_view_controller_ends_with_1_and_registers_no_channel(launch):
    host = launch(env={"ORVANTA_STANDIN_FAIL_VIEW": "1"})
    assert wait_exit(host, 90) == 1
    assert "Failed to create view controller." in host.stderr()
    out = host.stdout()
    assert "SingBoxService initialized" not in out and "MethodChannel" not in out
    assert host.offspring() == []


@pytest.mark.parametrize("lang, code_page", [("en_US.UTF-8", 1252), ("ru_RU.UTF-8", 1251)])
def test_a_vpn_session_works_from_non_latin_install_and_temp_folders_past_planted_files(
        lang, code_page, non_latin_temp, log_dir):
    from orvanta_driver.host import HostProcess

    install, temp, current = non_latin_temp
    locale = {"LANG": lang, "LC_ALL": lang}
    assert probe("codepage", env=locale) == (0, {"acp": code_page})
    # Wine takes a native DLL that the search finds over its own only when told to; the system
    # folder's WinINet is then the recorder, and its rasapi32 the stand-in with two phonebook
    # entries, one named in Cyrillic.
    notices = os.path.join(log_dir, "wininet-notices-%s.txt" % lang)
    env = dict(locale, ORVANTA_STANDIN_WININET_LOG=wine.to_windows_path(notices),
               WINEDLLOVERRIDES=";".join(filter(None, (os.environ.get("WINEDLLOVERRIDES"),
                                                       "dwmapi,iphlpapi,wininet,rasapi32=n,b"))))
    no_host_left()
    with HostProcess(install, log_dir, env=env, cwd=current) as host, \
            host.connect() as client:
        assert client.invoke(SPEED_CHANNEL, "initNetworkSpeed") == Success(True)
        start_core(host, client)
        push_loopback_traffic(0.5)
        speed = client.invoke(SPEED_CHANNEL, "getNetworkSpeed")
        assert isinstance(speed, Success), speed
        assert speed.value.keys() == ["downloadSpeed", "uploadSpeed"]
        assert speed.value["downloadSpeed"] > 0 and speed.value["uploadSpeed"] > 0, speed
        # The driver decodes strings strictly, as the UI does: malformed UTF-8 fails here.
        logs = client.invoke(VPN_CHANNEL, "getLogs")
        assert isinstance(logs, Success), logs
        core = wine.to_windows_path(install) + "\\resources\\sing-box.exe"
        config = wine.to_windows_path(temp) + "\\Orvanta\\config.json"
        for line in ("] Checking sing-box executable path: " + core + "\n",
                     "] sing-box config created: " + config + "\n",
                     "] Executing command: \"%s\" run -c \"%s\"\n" % (core, config),
                     "sing-box stand-in: started with configuration " + config + "\n"):
            assert line in logs.value.replace("\r\n", "\n"), line
        with open(os.path.join(temp, "Orvanta", "config.json"), encoding="utf-8") as f:
            assert f.read().replace("\r\n", "\n") == sample_config().replace("\r\n", "\n")

        assert client.invoke(VPN_CHANNEL, "stopV2Ray") == Success(True)
        assert wine.proxy_values() == PROXY_OFF
        assert wait_for(lambda: not port_accepts(), 10), "core still listening after stop"
        client.close_window()
        assert wait_exit(host, 90) == 0
    # Only the system folder's PowerShell ran (it set the proxy) and only the system folder's
    # DLLs loaded; the planted ones never did.
    for folder in (install, current):
        for record in ("planted-runs.txt", "planted-loads.txt"):
            path = os.path.join(folder, record)
            assert not os.path.exists(path), open(path, "rb").read().decode("utf-16-le")
    # The LAN and each entry got ours, then their own back, and each change was told to running
    # programs through the recorder.
    connections = ("LAN", "Office VPN",
                   "\u0414\u043e\u043c\u0430\u0448\u043d\u0438\u0439 \u0438\u043d\u0442\u0435\u0440\u043d\u0435\u0442")
    told = "InternetSetOptionW 0 39 0 0\nInternetSetOptionW 0 37 0 0\n"
    line = "InternetSetOptionW 0 75 1 32 connection=%s %s\n"
    with open(notices, encoding="utf-8") as f:
        assert f.read() == (
            "".join(line % (c, "flags=3 server=127.0.0.1:10809 bypass=<-loopback>")
                    for c in connections) + told +
            "".join(line % (c, "flags=1 server= bypass= url=") for c in connections) + told)
    out = host.stdout().replace("\r\n", "\n")
    assert "Running programs were not told" not in out
    assert "NetworkSpeedChannel: Init result: SUCCESS\n" in out


def test_a_killed_host_takes_its_core_and_its_set_along_and_the_next_start_clears_the_proxy(
        launch, temp_dir):
    def kill_while_connected(host):
        with host.connect() as client:
            start_core(host, client)
        assert probe("kill")[0] == 0
        # The core was in the host's kill-on-close job.
        assert wait_for(lambda: not port_accepts() and not host.offspring(), 10), \
            host.offspring()
        wait_exit(host, 30)

    def first_answers(host):
        with host.connect() as client:
            # The service was built, and has cleaned up, before the first call is answered.
            assert client.invoke(VPN_CHANNEL, "isRunning") == Success(False)
            values = wine.proxy_values()
            logs = client.invoke(VPN_CHANNEL, "getLogs").value
            return client, values, logs

    kill_while_connected(launch())
    hanging = launch(env={"ORVANTA_STANDIN_PS_SET_HANG_MS": "4000"})
    _, values, logs = first_answers(hanging)
    assert values == PROXY_OFF
    assert "] Cleared the system proxy that an earlier run left set\n" in logs

    # Killed while its set still runs: the set goes with it and never lands after the next
    # start has looked.
    with hanging.connect() as client:
        answer = []
        starting = threading.Thread(target=lambda: answer.append(invoke_ignoring_errors(
            client, "startV2Ray", {"config": sample_config()})))
        starting.start()
        record = os.path.join(str(temp_dir), "Orvanta", "system-proxy-set")
        assert wait_for(lambda: os.path.exists(record), 30), \
            "the set never started: %r\n%s" % (answer, hanging.stdout())
        set_ends = time.monotonic() + 4.0
        assert probe("kill")[0] == 0
        starting.join(60)
    wait_exit(hanging, 30)
    _, values, logs = first_answers(launch())
    time.sleep(max(0.0, set_ends - time.monotonic()) + 1.0)
    assert values == PROXY_OFF == wine.proxy_values()


def invoke_ignoring_errors(client, method, arguments=None):
    """The answer, or the error that a host killed meanwhile gives."""
    try:
        return client.invoke(VPN_CHANNEL, method, arguments)
    except BridgeError as error:
        return error


def test_a_start_during_a_slow_teardown_opens_once_the_first_instance_has_ended(
        launch, temp_dir):
    # Every PowerShell command of the first host takes 4 s: its teardown's clear too, which
    # runs the clear command as nothing of the user's is saved.
    first = launch(env={"ORVANTA_STANDIN_PS_HANG_MS": "4000"})
    with first.connect() as client:
        start_core(first, client)
        os.remove(os.path.join(str(temp_dir), "Orvanta", "system-proxy-saved"))
        client.close_window()
    # The window is gone once the services start stopping.
    assert wait_for(lambda: "] Stopping sing-box...\n" in first.stdout().replace("\r\n", "\n"),
                    30)
    second = launch(alone=False)
    assert first.running(), "the first instance ended before the second started"
    with second.connect() as client:
        assert not first.running(), "the second instance ran beside the first"
        assert first.wait(0) == 0
        assert wait_for(lambda: client.state()["window"]["visible"], 30)
        client.close_window()
    assert wait_exit(second, 90) == 0
    assert wine.proxy_values() == PROXY_OFF


@pytest.fixture(scope="module")
def main_host(app_dir, temp_dir, log_dir):
    """The shared host, and when its window was first seen hidden and visible (tick ms)."""
    from orvanta_driver.host import HostProcess

    # The watcher must already poll when the window appears, so it starts first.
    watch_path = os.path.join(log_dir, "watch.out")
    watcher = wine.start([probe_path(), "watch", "150"], watch_path)
    try:
        assert wait_for(lambda: "ready" in open(watch_path).read(), 90), "watcher did not start"
        no_host_left()
        host = HostProcess(app_dir, log_dir, args=ARGUMENTS)
        try:
            with host.connect() as client:
                watcher.wait(timeout=160)
                seen = dict(field.split("=") for field in open(watch_path).read().split()[1:])
                yield host, client, {k: int(v) for k, v in seen.items()}
        finally:
            host.stop()
    finally:
        if watcher.poll() is None:
            watcher.kill()
            watcher.wait(timeout=30)


def test_startup_shows_the_window_after_the_first_frame_with_paths_arguments_and_plugins(
        main_host):
    host, client, seen = main_host
    assert wait_for(lambda: client.state()["window"]["visible"], 30)
    state = client.state()
    assert 0 < seen["hidden_at"] <= state["first_frame_ms"] <= seen["visible_at"], (seen, state)
    window = state["window"]
    assert (window["class"], window["title"]) == ("FLUTTER_RUNNER_WIN32_WINDOW", "Orvanta")
    assert state["dpi"] == 96
    assert (window["x"], window["y"], window["width"], window["height"]) == (10, 10, 420, 720)
    # Shown by the next-frame callback, which ran once, after the first frame was drawn.
    assert state["next_frame_callbacks"] == 1

    engine = state["engine"]
    assert (engine["assets_path"], engine["icu_data_path"], engine["aot_library_path"]) == (
        "data\\flutter_assets", "data\\icudtl.dat", "data\\app.so")
    assert engine["arguments"] == ARGUMENTS and engine["argc"] == len(ARGUMENTS)

    assert [r["name"] for r in state["registrars"]] == [name for name, _ in PLUGINS]
    handles = {r["name"]: r["handle"] for r in state["registrars"]}
    assert len(set(handles.values())) == len(PLUGINS) and all(handles.values())
    registrations = state["plugin_registrations"]
    assert [r["library"] for r in registrations] == [lib for _, lib in PLUGINS]
    assert [r["registrar"] for r in registrations] == [handles[name] for name, _ in PLUGINS]
    # Plug-ins that use COM expect the UI thread in a single-threaded apartment.
    assert [r["apartment"] for r in registrations] == ["STA"] * len(PLUGINS)
    assert set(state["channels"]) >= {VPN_CHANNEL, SPEED_CHANNEL}

    code, seen = probe("show")
    assert code == 0 and seen == {"count": 1, "visible": 1, "iconic": 0}


def test_a_full_vpn_session_sets_the_proxy_runs_the_core_and_restores_the_users_proxy(
        main_host):
    host, client, _ = main_host
    assert not port_accepts(), "something already listens on the core's port"
    write_proxy_values(COMPANY_PROXY)

    start_core(host, client)
    assert client.invoke(VPN_CHANNEL, "isRunning") == Success(True)
    # Nothing of the host's but the log file: not the UI bridge's sockets, for one. The core
    # reports it after its start, once it has asked the Wine server about every handle value.
    report = "sing-box stand-in: in a job: yes; other inherited handles: none\r\n"
    assert wait_for(lambda: report in client.invoke(VPN_CHANNEL, "getLogs").value.split(
        CORE_LOG_HEADER, 1)[1], 60)

    assert client.invoke(VPN_CHANNEL, "stopV2Ray") == Success(True)
    assert wine.proxy_values() == COMPANY_PROXY
    assert wait_for(lambda: not port_accepts(), 10), "core still listening after stop"
    assert client.invoke(VPN_CHANNEL, "isRunning") == Success(False)
    # The UI's own clear right after the disconnect finds the company proxy: it stays.
    assert client.invoke(VPN_CHANNEL, "clearSystemProxy") == Success(True)
    assert wine.proxy_values() == COMPANY_PROXY
    ends_with(client, "Clearing system proxy", "System proxy not set by Orvanta; left unchanged")
    write_proxy_values(PROXY_OFF)
    state = client.state()
    assert (state["messenger_refs"], state["pending_responses"],
            state["messenger_locks_held"]) == (0, 0, 0), state
    # The C runtime's text-mode standard output turns each line end into CR LF.
    assert "MethodChannel: sing-box start result: SUCCESS\n" in host.stdout().replace("\r\n", "\n")


def test_a_real_client_goes_through_the_core_only_while_connected_and_a_change_is_reported(
        main_host):
    host, client, _ = main_host
    # A fresh profile has no ProxyEnable, which the set command alone would create as text, and
    # WinINet, as browsers use it, reads as off.
    wine.delete_value(wine.INTERNET_SETTINGS, "ProxyEnable")
    before = wine.proxy_values()
    assert before["ProxyEnable"] is None
    url = "http://127.0.0.2:9/orvanta-e2e"
    proxied = "sing-box stand-in: proxied GET %s HTTP/1.1" % url
    core_log = lambda: client.invoke(VPN_CHANNEL, "getLogs").value.split(CORE_LOG_HEADER, 1)[1]
    fetch = lambda: wine.run([probe_path(), "fetch", url], timeout=60)

    start_core(host, client)
    code, out, _ = fetch()
    assert (code, out.decode().split()[0]) == (0, "status=200"), out
    assert core_log().count(proxied) == 1

    # Another program points the proxy elsewhere: said once, when it happens; back to ours is
    # no news, and nothing is set again behind anyone's back.
    warning = ("WARNING: Another program changed the system proxy to other.example:3128; "
               "traffic may bypass sing-box")
    code, out, _ = wine.run([probe_path(), "setserver", "other.example:3128"], timeout=60)
    changed_at = int(out.decode().split("=")[1])
    assert wait_for(lambda: warning in messages(client.invoke(VPN_CHANNEL, "getLogs").value), 15)
    logs = client.invoke(VPN_CHANNEL, "getLogs").value
    stamp = int(logs[:logs.index("] " + warning)].rsplit("[", 1)[1])
    print("another program's change was reported %d ms after it" % (stamp - changed_at))
    assert wine.proxy_values()["ProxyServer"] == "other.example:3128"
    assert wine.run([probe_path(), "setserver", "127.0.0.1:10809"], timeout=60)[0] == 0

    assert client.invoke(VPN_CHANNEL, "stopV2Ray") == Success(True)
    assert wine.proxy_values() == before
    # Direct now (nothing listens on 127.0.0.2:9). WinINet itself then writes a ProxyEnable 0.
    code, out, _ = fetch()
    assert code == 3, out
    assert core_log().count(proxied) == 1
    got = messages(client.invoke(VPN_CHANNEL, "getLogs").value)
    assert [line for line in got if line.startswith("WARNING: Another program")] == [warning]
    write_proxy_values(PROXY_OFF)


def test_a_core_that_ends_says_why_takes_the_proxy_along_and_speaks_without_colour_codes(
        main_host):
    host, client, _ = main_host
    # Ends by itself after its start: no call from the UI meanwhile, the host notices, quotes it
    # and clears the proxy.
    assert client.invoke(VPN_CHANNEL, "startV2Ray",
                         {"config": sample_config(mode="fatal-later", exit_after_ms=3000)}) == \
        Success(True)
    assert wait_for(lambda: wine.proxy_values() == PROXY_OFF, 30)
    got = messages(client.invoke(VPN_CHANNEL, "getLogs").value)
    end = got.index("sing-box exited unexpectedly with exit code 1")
    assert got[end + 1:end + 3] == [
        "sing-box said: FATAL[0000] service stopped: stand-in told to fail later",
        "Clearing system proxy"], got[end:]
    assert client.invoke(VPN_CHANNEL, "isRunning") == Success(False)

    # Ends within its first second (so the start above was no longer counted as running): the
    # fatal line of this launch is quoted, nothing else is.
    for mode, code, said in (("fatal", 1, ["sing-box said: FATAL[0000] start service: stand-in "
                                           "told to fail"]),
                             ("silent", 3, [])):
        assert client.invoke(VPN_CHANNEL, "startV2Ray",
                             {"config": sample_config(mode=mode)}) == Success(False)
        ends_with(client, "ERROR: sing-box process exited immediately with code: %d" % code,
                  *said, "Failed to start sing-box process")
    assert wine.proxy_values() == PROXY_OFF

    # Starts again, coloured: the answer carries none of its colour codes.
    start_core(host, client, sample_config(mode="coloured"))
    logs = lambda: client.invoke(VPN_CHANNEL, "getLogs").value
    done = "+1ms [conn] outbound/direct[direct]: done\r\n"
    assert wait_for(lambda: done in logs(), 15), logs()
    core_log = logs().split(CORE_LOG_HEADER, 1)[1]
    assert "\x1b" not in core_log
    assert "INFO[0000] inbound/mixed[mixed-in]: tcp server started\r\n" \
        "WARN[0001] dns: slow response\r\n" + done in core_log
    assert client.invoke(VPN_CHANNEL, "stopV2Ray") == Success(True)
    assert wine.proxy_values() == PROXY_OFF


def test_a_taken_port_and_a_missing_core_are_explained(main_host, log_dir):
    host, client, _ = main_host
    # Another program on the core's port: named (Wine hides its PID), and the core's own reason.
    # On 127.0.0.1, from the IPv4 table; on [::], dual-stack as Go listens, from the IPv6 table.
    for listen in ("listen", "listen6"):
        holder_out = os.path.join(log_dir, "port-holder-%s.out" % listen)
        holder = wine.start([probe_path(), listen, str(CORE_PORT), "120"], holder_out)
        try:
            assert wait_for(lambda: "listening" in open(holder_out).read(), 60), \
                "port not taken: " + listen
            mark = len(messages(client.invoke(VPN_CHANNEL, "getLogs").value))
            assert client.invoke(VPN_CHANNEL, "startV2Ray", {"config": sample_config()}) == \
                Success(False)
            got = ends_with(
                client, "ERROR: sing-box process exited immediately with code: 1",
                "sing-box said: sing-box stand-in: FATAL: cannot listen on 127.0.0.1:10809",
                "Failed to start sing-box process")[mark:]
            warning = "WARNING: 127.0.0.1:10809 is already in use by another program"
            assert warning in got, (listen, got)
            assert got[got.index(warning) + 2] == "Creating sing-box process...", (listen, got)
        finally:
            holder.kill()
            holder.wait(timeout=30)

    # The core taken away, as antivirus software quarantines it.
    core = os.path.join(host.app_dir, "resources", "sing-box.exe")
    os.rename(core, core + ".quarantined")
    try:
        assert client.invoke(VPN_CHANNEL, "startV2Ray", {"config": sample_config()}) == \
            Success(False)
        ends_with(client, "ERROR: sing-box executable not found in any location",
                  "sing-box.exe is missing: antivirus software may have removed it. Restore it "
                  "from quarantine or reinstall Orvanta.",
                  "Failed to start sing-box process")
    finally:
        os.rename(core + ".quarantined", core)
    assert wine.proxy_values() == PROXY_OFF


def test_a_second_start_raises_the_first_window_and_ends_with_0(main_host, launch):
    host, client, _ = main_host
    code, _ = probe("minimize")
    assert code == 0
    assert wait_for(lambda: probe("show")[1]["iconic"] == 1, 10)

    second = launch(alone=False)
    assert wait_exit(second, 90) == 0
    assert "SingBoxService initialized" not in second.stdout(), "second instance built a window"
    assert second.stderr().replace("\r\n", "\n") == \
        "Orvanta is already running: its window was brought to the front\n"
    code, seen = probe("show")
    assert code == 0 and seen == {"count": 1, "visible": 1, "iconic": 0}
    assert client.state()["window"]["visible"]


def test_closing_the_window_while_the_core_runs_ends_with_0_and_cleans_up(main_host):
    host, client, _ = main_host
    start_core(host, client)
    client.close_window()
    assert wait_exit(host, 90) == 0
    assert wine.proxy_values() == PROXY_OFF
    assert not port_accepts(), "core still listening after the host ended"
    # Wine tears an ended process down a moment after its exit code is known.
    assert wait_for(lambda: host.offspring() == [], 15), host.offspring()
    out = host.stdout().replace("\r\n", "\n")
    assert "SingBoxService: [" in out and "] sing-box stopped\n" in out
