"""The UI's side of a VPN session, played through the bridge, printing every call and answer.

play_session is what the UI program does in a typical session: start speed monitoring, start
the core with a configuration, poll status and speed, read the logs, stop, clear the proxy.
Interactive lets a person type the same calls. Both only talk to the bridge; starting and
ending the host process is the caller's business.
"""

import json
import shlex
import socket
import threading
import time

from . import codec
from .bridge import SPEED_CHANNEL, VPN_CHANNEL, BridgeError

def describe(value, limit=200):
    """A short readable form of a decoded value for the console."""
    if isinstance(value, str):
        if len(value) > limit or "\n" in value:
            size = len(value.encode("utf-8", "surrogateescape"))
            if limit < 200:
                return "<text, %d bytes>" % size
            return "<text, %d bytes>\n%s" % (size, value)
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, (dict, codec.EncodableMap)):
        return "{%s}" % ", ".join("%s: %s" % (describe(k), describe(v, 60))
                                  for k, v in value.items())
    if isinstance(value, (list, tuple)) and not isinstance(value, codec._TypedList):
        return "[%s]" % ", ".join(describe(v, 60) for v in value)
    return repr(value)


class Console:
    """Calls methods through a bridge client and prints both directions."""

    def __init__(self, client, out=print):
        self.client = client
        self.out = out

    def call(self, channel, method, arguments=None, shown_arguments=None):
        shown = shown_arguments if shown_arguments is not None else (
            "" if arguments is None else describe(arguments))
        self.out("-> %s %s %s" % (channel, method, shown))
        try:
            reply = self.client.invoke(channel, method, arguments)
        except BridgeError as error:
            self.out("<- no answer: %s" % error)
            return None
        if isinstance(reply, codec.Success):
            self.out("<- success %s" % describe(reply.value))
        else:
            self.out("<- error %s %r %s" % (reply.code, reply.message, describe(reply.details)))
        return reply


def push_loopback_traffic(seconds):
    """Moves bytes over a loopback TCP connection of our own for a while, so the host's
    interface counters (loopback included) grow and the speed figures show something."""
    deadline = time.monotonic() + seconds
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        with socket.create_connection(listener.getsockname(), timeout=5.0) as sender:
            receiver, _ = listener.accept()
            with receiver:
                sink = threading.Thread(target=_drain, args=(receiver,), daemon=True)
                sink.start()
                # About 3 MiB/s: visible in the figures without hogging a shared machine.
                chunk = b"\0" * 65536
                while time.monotonic() < deadline:
                    sender.sendall(chunk)
                    time.sleep(0.02)
                sender.shutdown(socket.SHUT_WR)
                sink.join(timeout=5.0)


def _drain(connection):
    while connection.recv(1 << 20):
        pass


def play_session(console, config_text, speed_samples=3, interval=1.0, on_started=None):
    """Plays the session; returns the list of steps whose answer was not the expected one.
    `on_started` runs once the core has been started (e.g. to show the proxy values)."""
    problems = []

    def expect(step, reply, check):
        if reply is None or not isinstance(reply, codec.Success) or not check(reply.value):
            problems.append("%s answered %r" % (step, reply))

    expect("initNetworkSpeed", console.call(SPEED_CHANNEL, "initNetworkSpeed"), lambda v: v is True)
    start = console.call(VPN_CHANNEL, "startV2Ray", {"config": config_text},
                         shown_arguments='{"config": <%d bytes of JSON>}'
                         % len(config_text.encode("utf-8")))
    expect("startV2Ray", start, lambda v: v is True)
    if on_started is not None:
        on_started()
    expect("isRunning", console.call(VPN_CHANNEL, "isRunning"), lambda v: v is True)
    for _ in range(speed_samples):
        push_loopback_traffic(interval)
        expect("getNetworkSpeed", console.call(SPEED_CHANNEL, "getNetworkSpeed"),
               lambda v: isinstance(v, codec.EncodableMap)
               and isinstance(v.get("downloadSpeed"), float)
               and isinstance(v.get("uploadSpeed"), float))
    expect("getLogs", console.call(VPN_CHANNEL, "getLogs"),
           lambda v: isinstance(v, str) and "sing-box started successfully" in v)
    expect("stopV2Ray", console.call(VPN_CHANNEL, "stopV2Ray"), lambda v: v is True)
    expect("isRunning", console.call(VPN_CHANNEL, "isRunning"), lambda v: v is False)
    expect("clearSystemProxy", console.call(VPN_CHANNEL, "clearSystemProxy"), lambda v: v is True)
    return problems


HELP = """commands:
  init                 initNetworkSpeed          speed      getNetworkSpeed
  start [FILE]         startV2Ray (bundled sample config unless FILE)
  stop                 stopV2Ray                 running    isRunning
  logs                 getLogs                   clear      clearSystemProxy
  call CHANNEL METHOD [JSON]   any call, arguments as JSON
  state                the stand-in runtime's view of the host
  close                close the window (ends the host)
  quit                 leave without closing"""


def interactive(console, client, sample_config, read=input):
    """Reads commands until quit/close or end of input; returns True when the window was
    closed through the bridge."""
    console.out(HELP)
    simple = {
        "init": (SPEED_CHANNEL, "initNetworkSpeed"),
        "speed": (SPEED_CHANNEL, "getNetworkSpeed"),
        "stop": (VPN_CHANNEL, "stopV2Ray"),
        "running": (VPN_CHANNEL, "isRunning"),
        "logs": (VPN_CHANNEL, "getLogs"),
        "clear": (VPN_CHANNEL, "clearSystemProxy"),
    }
    while True:
        try:
            words = shlex.split(read("orvanta> "))
        except EOFError:
            return False
        except ValueError as error:
            console.out("? %s" % error)
            continue
        if not words:
            continue
        command, rest = words[0], words[1:]
        try:
            if command in simple:
                console.call(*simple[command])
            elif command == "start":
                text = sample_config
                if rest:
                    with open(rest[0], encoding="utf-8") as f:
                        text = f.read()
                console.call(VPN_CHANNEL, "startV2Ray", {"config": text})
            elif command == "call" and len(rest) >= 2:
                arguments = json.loads(rest[2]) if len(rest) > 2 else None
                console.call(rest[0], rest[1], arguments)
            elif command == "state":
                console.out(json.dumps(client.state(), indent=2, ensure_ascii=False))
            elif command == "close":
                client.close_window()
                return True
            elif command in ("quit", "exit"):
                return False
            else:
                console.out(HELP)
        except (OSError, ValueError, BridgeError) as error:
            console.out("? %s" % error)
