"""One orvanta.exe under Wine, with its UI bridge.

HostProcess owns the Wine process it starts: stop() (or leaving the `with` block) ends a
process that is still running, so a failed test or session leaves no window behind. The
host's standard output and error go to files in `log_dir`, readable at any time.
"""

import os
import signal
import subprocess
import time

from . import wine
from .bridge import BridgeClient, BridgeError, free_port


class HostProcess:
    def __init__(self, app_dir, log_dir, args=(), env=None, bridge_port=None, cwd=None):
        """Starts app_dir's orvanta.exe with `cwd` (app_dir by default) as current folder."""
        self.app_dir = app_dir = os.path.abspath(app_dir)
        self.port = bridge_port or free_port()
        self.stdout_path = os.path.join(log_dir, "orvanta-%d.out" % self.port)
        self.stderr_path = os.path.join(log_dir, "orvanta-%d.err" % self.port)
        extra = {"ORVANTA_UI_BRIDGE_PORT": str(self.port)}
        extra.update(env or {})
        self.started_at = time.monotonic()
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(
                [wine.WINE, os.path.join(app_dir, "orvanta.exe")] + list(args),
                cwd=cwd or app_dir,
                stdin=subprocess.DEVNULL,
                stdout=out,
                stderr=err,
                env=wine.wine_environment(extra),
            )

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def connect(self, timeout=120.0):
        """A bridge client. When the process ends before opening the bridge, this fails at once,
        saying so with its exit code and output (a second instance, say, ends with 0)."""
        try:
            return BridgeClient(self.port, connect_timeout=timeout,
                                give_up=lambda: not self.running())
        except BridgeError as error:
            if self.running():
                raise
            raise BridgeError(
                "orvanta.exe ended with exit code %d before it opened the UI bridge (%s)\n"
                "standard output:\n%s\nstandard error:\n%s"
                % (self.process.returncode, error, self.stdout(), self.stderr())) from error

    def wait(self, timeout):
        """The exit code; subprocess.TimeoutExpired if it is still running after `timeout`."""
        return self.process.wait(timeout=timeout)

    def stdout(self):
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        """Ends the host and everything it started (core, proxy command) by process id."""
        if self.running():
            self.process.kill()
            self.process.wait(timeout=30)
        for pid in self.offspring():
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass

    def offspring(self):
        """Ids of live processes started by this host, found by the bridge port that they
        inherit with the host's environment (Wine does not keep a Linux parent chain). Wine's
        own programs (the desktop process that the host's first window may have started)
        inherit it too and are not counted."""
        marker = b"ORVANTA_UI_BRIDGE_PORT=%d\0" % self.port
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == self.process.pid:
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if marker not in f.read() + b"\0":
                        continue
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    if f.read().lower().startswith(b"c:\\windows\\"):
                        continue
            except OSError:
                continue
            found.append(int(entry))
        return found

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

