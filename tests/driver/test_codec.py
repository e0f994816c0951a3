"""The driver's own codec, byte for byte against the system's worked examples."""

import math
import struct

import pytest

from orvanta_driver import codec
from orvanta_driver.codec import (
    INVALID_READ,
    UNKNOWN_TYPE,
    BAD_METHOD_NAME,
    DecodeError,
    EncodableMap,
    Error,
    Float32List,
    Float64List,
    Int32List,
    Int64,
    Int64List,
    Success,
)


def h(text):
    return bytes.fromhex(text)


def lenient(data):
    lines = []
    value = codec.decode_value(data, strict=False, diagnostics=lines)
    return value, lines


@pytest.mark.parametrize(
    "value, wire",
    [
        (None, "00"),
        (True, "01"),
        (False, "02"),
        (-2, "03 fe ff ff ff"),
        (Int64(-2), "04 fe ff ff ff ff ff ff ff"),
        (2**31, "04 00 00 00 80 00 00 00 00"),
        ("isRunning", "07 09 69 73 52 75 6e 6e 69 6e 67"),
        ("", "07 00"),
        (b"\x01\x02", "08 02 01 02"),
        (Int32List([1, 2]), "09 02 00 00 01 00 00 00 02 00 00 00"),
        (Int32List(), "09 00 00 00"),
        (Int64List([1]), "0a 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00"),
        (Float64List([1.5]), "0b 01 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f"),
        (Float32List([1.5]), "0e 01 00 00 00 00 c0 3f"),
        (1.5, "06 00 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f"),
        ([True, None], "0c 02 01 00"),
        ({"b": 1, "a": None}, "0d 02 07 01 61 00 07 01 62 03 01 00 00 00"),
    ],
    ids=repr,
)
def test_values_encode_to_the_worked_bytes_and_decode_back(value, wire):
    encoded = codec.encode_value(value)
    assert encoded.hex(" ") == wire
    decoded = codec.decode_value(encoded)
    assert codec.alternative(decoded) == codec.alternative(value)
    assert codec.encode_value(decoded) == encoded


def test_size_field_switches_width_at_254_and_65536():
    for size, prefix in [(253, "fd"), (254, "fe fe 00"), (300, "fe 2c 01"),
                         (65535, "fe ff ff"), (65536, "ff 00 00 01 00")]:
        encoded = codec.encode_value("x" * size)
        assert encoded[1:1 + len(h(prefix))] == h(prefix), size
        assert len(encoded) == 1 + len(h(prefix)) + size, size
        assert codec.decode_value(encoded) == "x" * size, size


def test_padding_counts_from_the_start_of_the_whole_message():
    assert (b"\0" + codec.encode_value(1.5, prefix=b"\0")).hex(" ") == (
        "00 06 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f")
    assert len(b"\0" + codec.encode_value(1.5, prefix=b"\0")) == 16
    # Nested: the typed list inside a list aligns on message offsets, not its own.
    assert codec.encode_value([Int32List([7])]).hex(" ") == "0c 01 09 01 07 00 00 00"
    nested = [Int32List(), Int32List(), "after"]
    assert codec.decode_value(codec.encode_value(nested)) == nested


def test_tag_5_reads_as_a_string_like_tag_7():
    assert codec.decode_value(h("05 03 61 62 63")) == "abc"
    assert codec.encode_value(codec.decode_value(h("05 03 61 62 63"))) == h("07 03 61 62 63")


def test_map_entries_go_out_in_value_order_whatever_the_insertion_order():
    for source in ({"uploadSpeed": 0.25, "downloadSpeed": 1.5},
                   {"downloadSpeed": 1.5, "uploadSpeed": 0.25}):
        encoded = codec.encode_value(source)
        assert encoded.index(b"downloadSpeed") < encoded.index(b"uploadSpeed")
    # Kinds first (null < bool < int32 < int64 < ... < string), then contents.
    mixed = EncodableMap([("a", 1), (Int64(5), 2), (5, 3), (None, 4), (False, 5), (100, 6)])
    assert mixed.keys() == [None, False, 5, 100, Int64(5), "a"]
    assert codec.compare(100, Int64(1)) < 0
    assert codec.compare("\x7f", "\udc80") < 0  # byte 0x7F before byte 0x80
    assert codec.compare(b"\x7f", b"\x80") < 0
    assert codec.compare("ab", "abc") < 0 and codec.compare([1], [1, None]) < 0
    assert codec.compare(float("nan"), 1.0) == 0


def test_repeated_map_key_keeps_the_first_value():
    wire = h("0d 02 07 01 6b 03 01 00 00 00 07 01 6b 03 02 00 00 00")
    decoded = codec.decode_value(wire)
    assert decoded.items() == [("k", 1)]
    direct = EncodableMap([("k", 1), ("k", 2)])
    assert direct["k"] == 1 and len(direct) == 1


def test_damaged_input_decodes_as_the_host_would_when_lenient_and_fails_when_strict():
    cases = [
        ("0f", None, [UNKNOWN_TYPE + "15"]),
        ("03 01", 0, [INVALID_READ]),
        ("0c 02", [None, None], [INVALID_READ, INVALID_READ]),
        ("07 03 61", "\0\0\0", [INVALID_READ]),
        ("0c 02 ff 01", [None, True], [UNKNOWN_TYPE + "255"]),
        ("", None, [INVALID_READ]),
        # Not UTF-8: the host passes the bytes on, the UI would throw.
        ("07 02 c3 28", "\udcc3(", []),
        ("07 03 ed a0 80", "\udced\udca0\udc80", []),
    ]
    for wire, expected, lines in cases:
        value, seen = lenient(h(wire))
        assert value == expected and seen == lines, wire
        with pytest.raises(DecodeError):
            codec.decode_value(h(wire))
    with pytest.raises(DecodeError):
        codec.decode_value(h("00 00"))  # a second value where one was expected


def test_hostile_sizes_and_nesting_end_in_decode_error_even_when_lenient():
    for wire in ("07 ff ff ff ff ff", "0c ff ff ff ff ff", "0d fe ff ff",
                 "09 ff ff ff ff 7f", "0c 01" * 300 + "00"):
        with pytest.raises(DecodeError):
            codec.decode_value(h(wire), strict=False)
    # Below the bounds a short tail still reads as zeros and nulls.
    assert codec.decode_value(h("08 fe 00 10"), strict=False) == bytes(4096)
    assert codec.decode_value(h("0c 40"), strict=False) == [None] * 64
    deep = h("0c 01" * 255 + "00")
    assert codec.encode_value(codec.decode_value(deep)) == deep


def test_values_outside_the_wire_format_are_refused_on_encoding():
    with pytest.raises(OverflowError):
        codec.encode_value(2**63)
    with pytest.raises(TypeError):
        codec.encode_value(object())
    with pytest.raises(TypeError):
        codec.encode_call(b"isRunning")
    # The size field holds 32 bits; a larger size must not be cut to its low bits.
    with pytest.raises(OverflowError):
        codec._write_size(bytearray(), 2**32)


def test_method_calls_and_envelopes_match_the_worked_messages():
    assert codec.encode_call("isRunning").hex(" ") == "07 09 69 73 52 75 6e 6e 69 6e 67 00"
    assert codec.encode_success(True) == h("00 01")
    assert codec.encode_success() == h("00 00")
    assert codec.encode_success(False) == h("00 02")
    assert codec.encode_error("INVALID_METHOD") == h("01 07 0e") + b"INVALID_METHOD" + h("00 00")
    assert codec.encode_error("", "") == h("01 07 00 00 00")
    assert codec.encode_error("E", "m", 3) == h("01 07 01 45 07 01 6d 03 03 00 00 00")
    assert codec.encode_success(1.5).hex(" ") == (
        "00 06 00 00 00 00 00 00 00 00 00 00 00 00 f8 3f")

    config = "c" * 300
    call = codec.encode_call("startV2Ray", {"config": config})
    assert call == (h("07 0a") + b"startV2Ray" + h("0d 01 07 06") + b"config" + h("07 fe 2c 01")
                    + config.encode())
    assert codec.decode_call(call) == ("startV2Ray", {"config": config})

    speed = codec.encode_success({"uploadSpeed": 0.25, "downloadSpeed": 1.5})
    assert len(speed) == 56
    assert speed[:5] == h("00 0d 02 07 0d") and speed[5:18] == b"downloadSpeed"
    assert speed[18] == 6 and speed[19:24] == bytes(5)
    assert speed[24:32] == h("00 00 00 00 00 00 f8 3f")
    assert speed[32:34] == h("07 0b") and speed[34:45] == b"uploadSpeed"
    assert speed[45] == 6 and speed[46:48] == bytes(2)
    assert speed[48:56] == h("00 00 00 00 00 00 d0 3f")
    assert codec.decode_reply(speed) == Success({"downloadSpeed": 1.5, "uploadSpeed": 0.25})


def test_calls_the_host_cannot_read_are_reported_the_same_way():
    lines = []
    assert codec.decode_call(b"", strict=False, diagnostics=lines) is None
    assert lines == [INVALID_READ, BAD_METHOD_NAME]
    lines = []
    assert codec.decode_call(h("03 01 00 00 00"), strict=False, diagnostics=lines) is None
    assert lines == [BAD_METHOD_NAME]
    lines = []
    assert codec.decode_call(h("07 07") + b"getLogs", strict=False, diagnostics=lines) == (
        "getLogs", None)
    assert lines == [INVALID_READ]
    with_trailing = codec.encode_call("m", {"k": 1}) + b"\x99\x00"
    assert codec.decode_call(with_trailing, strict=False) == ("m", {"k": 1})
    for bad in (b"", h("03 01 00 00 00"), h("07 07") + b"getLogs", with_trailing):
        with pytest.raises(DecodeError):
            codec.decode_call(bad)


def test_replies_decode_into_success_or_error_and_reject_anything_else():
    lines = []
    assert codec.decode_reply(b"", strict=False, diagnostics=lines) == Success(None)
    assert lines == [INVALID_READ, INVALID_READ]
    assert codec.decode_reply(h("00 00")) == Success(None)
    assert codec.decode_reply(h("01 07 01 61 00 00")) == Error("a", "", None)
    assert codec.decode_reply(codec.encode_error("C", "msg", [1])) == Error("C", "msg", [1])
    for bad in ("02", "01 03 01 00 00 00 00 00", "01 07 01 61 03 01 00 00 00 00"):
        with pytest.raises(DecodeError):
            codec.decode_reply(h(bad), strict=False)


def test_decoded_trees_keep_their_kinds_for_re_encoding():
    tree = {
        Int64(5): [Int64List([-1, 2**40]), Float32List([0.5, -2.0])],
        5: {"nested": (1, "two", b"\xff")},
        (1, 2): float("-inf"),
        "\u00e9\U0001F600": None,
    }
    wire = codec.encode_value(tree)
    decoded = codec.decode_value(wire)
    assert isinstance(decoded.keys()[1], Int64) and decoded[5]["nested"] == [1, "two", b"\xff"]
    assert codec.encode_value(decoded) == wire
    assert math.isinf(decoded[[1, 2]])
    # Invalid UTF-8 read leniently survives a re-encode unchanged.
    raw = h("07 02 c3 28")
    assert codec.encode_value(codec.decode_value(raw, strict=False)) == raw
    assert struct.unpack("<d", codec.encode_value(-0.0)[8:])[0] == 0.0
