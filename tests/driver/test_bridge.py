"""The bridge client against a scripted loopback peer: request bytes, answers and breakage."""

import socket
import struct
import threading

import pytest

from orvanta_driver import codec
from orvanta_driver.bridge import (
    BridgeClient,
    BridgeError,
    EmptyReplyError,
    NoHandlerError,
)


class Peer:
    """Accepts one connection; for each scripted answer reads one request and replies with the
    raw bytes given (or closes the connection on None). Received requests are kept."""

    def __init__(self, answers):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.answers = answers
        self.requests = []
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _read(self, connection, count):
        data = b""
        while len(data) < count:
            chunk = connection.recv(count - len(data))
            if not chunk:
                raise EOFError
            data += chunk
        return data

    def _serve(self):
        connection, _ = self.listener.accept()
        with connection:
            for answer in self.answers:
                try:
                    name = self._read(connection, struct.unpack("<I", self._read(connection, 4))[0])
                    size = struct.unpack("<I", self._read(connection, 4))[0]
                    self.requests.append((name, self._read(connection, size)))
                except EOFError:
                    return
                if answer is None:
                    return
                connection.sendall(answer)

    def close(self):
        self.thread.join(timeout=5)
        self.listener.close()


def answer(status, payload=b""):
    return struct.pack("<II", status, len(payload)) + payload


def test_requests_carry_lengths_name_and_message_and_answers_are_read_in_order():
    peer = Peer([answer(0, codec.encode_success(True)),
                 answer(0, codec.encode_error("INVALID_METHOD", "Method not implemented: x")),
                 answer(1), answer(0), answer(0, b'{"window": {"visible": true}}')])
    with BridgeClient(peer.port) as client:
        assert client.invoke("v2ray.windows.channel", "isRunning") == codec.Success(True)
        assert client.invoke("network_speed_channel", "x") == codec.Error(
            "INVALID_METHOD", "Method not implemented: x", None)
        with pytest.raises(NoHandlerError):
            client.invoke("nobody", "m")
        with pytest.raises(EmptyReplyError):
            client.invoke("v2ray.windows.channel", "garbled")
        assert client.state() == {"window": {"visible": True}}
    peer.close()
    assert peer.requests[0] == (b"v2ray.windows.channel", codec.encode_call("isRunning"))
    assert peer.requests[4] == (b"standin/state", b"")


def test_request_bytes_on_the_wire_are_exact():
    received = []
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)

    def serve():
        connection, _ = listener.accept()
        with connection:
            data = b""
            while len(data) < 4 + 3 + 4 + 2:
                data += connection.recv(64)
            received.append(data)
            connection.sendall(answer(0, b"\x00\x01"))

    thread = threading.Thread(target=serve, daemon=True)
    thread.start()
    with BridgeClient(listener.getsockname()[1]) as client:
        assert client.send("a\u00e9", b"\x07\x00") == (0, b"\x00\x01")
    thread.join(timeout=5)
    listener.close()
    assert received == [b"\x03\x00\x00\x00a\xc3\xa9\x02\x00\x00\x00\x07\x00"]


def test_broken_answers_raise_instead_of_returning_partial_data():
    for script in ([None],                                   # closed before answering
                   [struct.pack("<II", 0, 10) + b"short"],   # closed mid-payload
                   [answer(7, b"")]):                         # status the protocol lacks
        peer = Peer(script)
        with BridgeClient(peer.port) as client:
            with pytest.raises(BridgeError):
                client.send("c", b"m")
        peer.close()


def test_connect_gives_up_when_told_to_instead_of_waiting_out_the_timeout():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    asked = []

    def give_up():
        asked.append(1)
        return len(asked) >= 2

    with pytest.raises(BridgeError):
        BridgeClient(port, connect_timeout=600, give_up=give_up)
    assert len(asked) == 2
