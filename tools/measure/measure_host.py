"""Measures orvanta.exe under Wine with the stand-in runtime (not a test; numbers only).

    source scripts/wine.sh; wine_start build/win/wineprefix
    PYTHONPATH=driver /usr/bin/python3 tools/measure/measure_host.py build/win/app

Reports: process start to first frame (the stand-in's own clocks, and wall-clock from launch
until the window is visible), the host's CPU time and wake-ups (context switches over all its
threads) while nothing is asked of it, idle and again while connected, its resident set, and the round-trip time of
"isRunning" and "getNetworkSpeed" through the UI bridge (median and 90th percentile of 1,000),
and how long a connect ("startV2Ray") and a disconnect ("stopV2Ray") take (median and slowest of
10; a connect waits at least the core's one second).
"""

import os
import statistics
import sys
import tempfile
import time

from orvanta_driver.bridge import SPEED_CHANNEL, VPN_CHANNEL
from orvanta_driver.host import HostProcess

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
SAMPLE_CONFIG = os.path.join(os.path.dirname(__file__), "..", "..", "driver", "sample_config.json")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime + stime


def context_switches(pid):
    voluntary = involuntary = 0
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/status" % (pid, task)) as f:
            for line in f:
                if line.startswith("voluntary_ctxt_switches"):
                    voluntary += int(line.split()[1])
                elif line.startswith("nonvoluntary_ctxt_switches"):
                    involuntary += int(line.split()[1])
    return voluntary, involuntary


def status_field(pid, name):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split(":", 1)[1].strip()
    return "?"


def idle(host, seconds, label):
    cpu0, (vol0, invol0) = cpu_seconds(host.pid), context_switches(host.pid)
    time.sleep(seconds)
    cpu1, (vol1, invol1) = cpu_seconds(host.pid), context_switches(host.pid)
    print("%s %.0f s: CPU %.3f s, context switches %d voluntary + %d involuntary "
          "(all threads, incl. the stand-in's bridge and Wine's own)"
          % (label, seconds, cpu1 - cpu0, vol1 - vol0, invol1 - invol0))


def round_trips(client, channel, method, count=1000):
    times = []
    for _ in range(count):
        begin = time.perf_counter()
        client.invoke(channel, method)
        times.append((time.perf_counter() - begin) * 1000.0)
    times.sort()
    return statistics.median(times), times[int(len(times) * 0.9)]


def main(app_dir, idle_seconds=10.0):
    log_dir = tempfile.mkdtemp(prefix="orvanta-measure-")
    launched = time.monotonic()
    with HostProcess(app_dir, log_dir) as host, host.connect() as client:
        while not client.state()["window"]["visible"]:
            time.sleep(0.01)
        visible_after = (time.monotonic() - launched) * 1000.0
        state = client.state()
        print("first frame: %d ms after process start (stand-in clocks); window visible %.0f ms "
              "after launch (wall clock, includes Wine's start)"
              % (state["first_frame_ms"] - state["process_start_ms"], visible_after))

        time.sleep(2.0)  # let start-up work settle
        idle(host, idle_seconds, "idle")
        print("resident set: %s (peak %s), threads %s"
              % (status_field(host.pid, "VmRSS"), status_field(host.pid, "VmHWM"),
                 status_field(host.pid, "Threads")))

        # Connected, nothing asked: the core's exit watch and the proxy's change watch wait.
        with open(SAMPLE_CONFIG, encoding="utf-8") as f:
            config = f.read()
        client.invoke(VPN_CHANNEL, "startV2Ray", {"config": config})
        time.sleep(2.0)
        idle(host, idle_seconds, "connected and idle")
        client.invoke(VPN_CHANNEL, "stopV2Ray")

        connects, disconnects = [], []
        for _ in range(10):
            for times, method, arguments in ((connects, "startV2Ray", {"config": config}),
                                             (disconnects, "stopV2Ray", None)):
                begin = time.perf_counter()
                client.invoke(VPN_CHANNEL, method, arguments)
                times.append((time.perf_counter() - begin) * 1000.0)
        for label, times in (("connect", connects), ("disconnect", disconnects)):
            print("%s over 10: median %.0f ms, slowest %.0f ms"
                  % (label, statistics.median(times), max(times)))

        client.invoke(SPEED_CHANNEL, "initNetworkSpeed")
        for channel, method in ((VPN_CHANNEL, "isRunning"), (SPEED_CHANNEL, "getNetworkSpeed")):
            median, p90 = round_trips(client, channel, method)
            print("%s round trip over 1000 calls: median %.3f ms, p90 %.3f ms"
                  % (method, median, p90))
        client.close_window()
        print("exit code %s" % host.wait(timeout=60))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/win/app")
