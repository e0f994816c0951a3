"""python3 -m orvanta_driver --app-dir build/win/app [--interactive]

Starts orvanta.exe under Wine (WINEPREFIX and DISPLAY from scripts/wine.sh), plays a VPN
session through the UI bridge (or lets a person type calls), shows the per-user proxy values
before and after, closes the window and waits for the host to end. Exits 0 only when every
answer was as expected, the scripted session left the three values as it found them (type and
data, or absence) and the host ended with exit code 0.
"""

import argparse
import os
import subprocess
import sys
import tempfile

from . import wine
from .bridge import BridgeError
from .host import HostProcess
from .session import Console, interactive, play_session

SAMPLE_CONFIG = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                             "sample_config.json")


def _say(text):
    print(text, flush=True)


def _show_proxy(label):
    """Prints the three proxy values and returns them as {name: (type, data) or None}."""
    stored = wine.read_values(wine.INTERNET_SETTINGS)
    values = {name: stored.get(name) for name in wine.PROXY_VALUES}
    _say("registry %s: %s" % (label, ", ".join(
        "%s=%s" % (name, "absent" if value is None else "%s %r" % value)
        for name, value in values.items())))
    return values


def main(argv=None):
    parser = argparse.ArgumentParser(prog="orvanta_driver")
    parser.add_argument("--app-dir", required=True, help="folder holding orvanta.exe")
    parser.add_argument("--config", default=SAMPLE_CONFIG, help="proxy-core configuration")
    parser.add_argument("--interactive", action="store_true")
    parser.add_argument("--samples", type=int, default=3, help="speed samples in the session")
    options = parser.parse_args(argv)

    with open(options.config, encoding="utf-8") as f:
        config_text = f.read()

    before = _show_proxy("before")
    log_dir = tempfile.mkdtemp(prefix="orvanta-run-")
    problems = []
    with HostProcess(options.app_dir, log_dir) as host:
        _say("started orvanta.exe (bridge port %d, output in %s)" % (host.port, log_dir))
        try:
            with host.connect() as client:
                console = Console(client, _say)
                if options.interactive:
                    closed = interactive(console, client, config_text)
                else:
                    problems = play_session(console, config_text, options.samples,
                                            on_started=lambda: _show_proxy("while running"))
                    closed = False
                after = _show_proxy("after")
                # The host puts back what it found, an absent value too: anything else left
                # after a full session (ours, a DWORD 0 where nothing was) is a fault.
                if not options.interactive and after != before:
                    problems.append("proxy values after the session differ from before: %s"
                                    % ", ".join("%s %s -> %s" % (name, before[name], after[name])
                                                for name in wine.PROXY_VALUES
                                                if before[name] != after[name]))
                if not closed:
                    _say("-> standin/close")
                    client.close_window()
        except BridgeError as error:
            problems.append("bridge: %s" % error)
        try:
            code = host.wait(timeout=60)
        except subprocess.TimeoutExpired:
            problems.append("orvanta.exe still running 60 s after the window was closed")
            code = None
        _say("orvanta.exe exit code: %s" % code)
        if code != 0:
            problems.append("exit code %s; its standard error:\n%s" % (code, host.stderr()))
    for problem in problems:
        _say("PROBLEM: %s" % problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
