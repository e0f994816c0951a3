"""Client of the UI bridge of the stand-in runtime: plays the UI program from outside.

One TCP connection to 127.0.0.1:<port> carries any number of requests, each answered in
order. All integers are unsigned 32-bit little-endian.

    request:  name length, channel name (UTF-8), message length, message
    response: status, length, bytes      status 0: the host's answer; 1: no handler there

A BridgeClient owns its socket; close() (or leaving the `with` block) releases it. Broken or
short connections raise BridgeError; nothing is retried behind the caller's back except the
initial connect, which waits for the runtime to open the port.
"""

import json
import socket
import struct
import time

from . import codec

STATUS_ANSWERED = 0
STATUS_NO_HANDLER = 1

VPN_CHANNEL = "v2ray.windows.channel"
SPEED_CHANNEL = "network_speed_channel"


class BridgeError(RuntimeError):
    """The bridge connection failed or answered something the protocol does not allow."""


class NoHandlerError(BridgeError):
    """Nothing in the host is registered on the channel."""


class EmptyReplyError(BridgeError):
    """The host answered with an empty message: it could not read the call, or nobody did."""


class BridgeClient:
    def __init__(self, port, host="127.0.0.1", connect_timeout=30.0, io_timeout=60.0,
                 give_up=None):
        """Waits up to connect_timeout for the port to open; `give_up`, when given, is asked
        between attempts and ends the wait early (e.g. when the host process has ended)."""
        self._sock = _connect(host, port, connect_timeout, give_up)
        self._sock.settimeout(io_timeout)

    def close(self):
        if self._sock is not None:
            self._sock.close()
            self._sock = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send(self, channel, message):
        """Sends raw bytes on a channel; returns (status, answer bytes)."""
        if self._sock is None:
            raise BridgeError("bridge is closed")
        name = channel.encode("utf-8")
        request = (
            struct.pack("<I", len(name)) + name + struct.pack("<I", len(message)) + bytes(message)
        )
        try:
            self._sock.sendall(request)
            status, length = struct.unpack("<II", self._receive(8))
            payload = self._receive(length)
        except OSError as error:
            raise BridgeError("bridge connection failed: %s" % error) from error
        if status not in (STATUS_ANSWERED, STATUS_NO_HANDLER):
            raise BridgeError("unknown bridge status %d" % status)
        return status, payload

    def _receive(self, count):
        chunks = []
        while count:
            chunk = self._sock.recv(min(count, 1 << 20))
            if not chunk:
                raise BridgeError("bridge closed the connection mid-answer")
            chunks.append(chunk)
            count -= len(chunk)
        return b"".join(chunks)

    def invoke(self, channel, method, arguments=None):
        """Calls a method the way the UI program does; returns codec.Success or codec.Error.
        Raises NoHandlerError or EmptyReplyError when the host gave no envelope."""
        status, answer = self.send(channel, codec.encode_call(method, arguments))
        if status == STATUS_NO_HANDLER:
            raise NoHandlerError("no handler on %r" % channel)
        if not answer:
            raise EmptyReplyError("empty answer to %r on %r" % (method, channel))
        return codec.decode_reply(answer)

    def state(self):
        """What the stand-in runtime has seen and drawn, as a dict."""
        status, answer = self.send("standin/state", b"")
        if status != STATUS_ANSWERED:
            raise BridgeError("standin/state not answered (status %d)" % status)
        return json.loads(answer.decode("utf-8"))

    def close_window(self):
        """Posts WM_CLOSE to the host's top-level window."""
        self._standin("standin/close")

    def end_session(self):
        """Sends WM_QUERYENDSESSION and WM_ENDSESSION(TRUE) to the host's window."""
        self._standin("standin/endsession")

    def _standin(self, name):
        status, _ = self.send(name, b"")
        if status != STATUS_ANSWERED:
            raise BridgeError("%s not answered (status %d)" % (name, status))


def _connect(host, port, timeout, give_up):
    deadline = time.monotonic() + timeout
    while True:
        try:
            return socket.create_connection((host, port), timeout=2.0)
        except OSError as error:
            if time.monotonic() >= deadline or (give_up is not None and give_up()):
                raise BridgeError("no UI bridge on %s:%d: %s" % (host, port, error)) from error
            time.sleep(0.1)


def free_port():
    """A loopback port nobody listens on right now."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]
