"""The driver's codec against the host's C++ codec, through `codec_dump --reencode-value`:
random value trees encoded here must come back byte for byte after the C++ side has decoded
and re-encoded them, and damaged messages must be read the same way on both sides."""

import os
import random
import subprocess

import pytest

from orvanta_driver import codec
from orvanta_driver.codec import EncodableMap, Float32List, Float64List, Int32List, Int64, Int64List

CODEC_DUMP = os.environ.get("ORVANTA_CODEC_DUMP")

pytestmark = pytest.mark.skipif(
    not CODEC_DUMP, reason="ORVANTA_CODEC_DUMP (set by ctest) names the codec_dump tool")


def reencode(data):
    # Hex on standard input: a command-line argument would cap messages at 64 KiB.
    completed = subprocess.run(
        [CODEC_DUMP, "--reencode-value"], input=data.hex().encode(), capture_output=True,
        timeout=30)
    assert completed.returncode == 0, completed.stderr
    return bytes.fromhex(completed.stdout.decode().strip()), completed.stderr.decode()


def random_scalar(rng):
    kind = rng.randrange(12)
    if kind == 0:
        return None
    if kind == 1:
        return rng.random() < 0.5
    if kind == 2:
        return rng.randint(-(2**31), 2**31 - 1)
    if kind == 3:
        return Int64(rng.randint(-(2**63), 2**63 - 1))
    if kind == 4:
        return rng.choice([0.0, -0.0, 1.5, -1e308, 5e-324, float("inf"), rng.uniform(-1e9, 1e9)])
    if kind == 5:
        alphabet = "az \u00e9\u0416\u4e2d\U0001F600\0\n\""
        return "".join(rng.choice(alphabet) for _ in range(rng.choice([0, 1, 5, 40, 300])))
    if kind == 6:
        return bytes(rng.randrange(256) for _ in range(rng.choice([0, 1, 7, 260])))
    if kind == 7:
        return Int32List(rng.randint(-(2**31), 2**31 - 1) for _ in range(rng.randrange(6)))
    if kind == 8:
        return Int64List(rng.randint(-(2**63), 2**63 - 1) for _ in range(rng.randrange(6)))
    if kind == 9:
        return Float64List(rng.uniform(-1e6, 1e6) for _ in range(rng.randrange(6)))
    if kind == 10:
        return Float32List(float(rng.randint(-1000, 1000)) / 8 for _ in range(rng.randrange(6)))
    return ""


def random_key(rng):
    # NaN keys would make the map's order meaningless on both sides; everything else goes.
    key = random_scalar(rng)
    if isinstance(key, float) and key != key:
        return 0.0
    return key


def random_tree(rng, depth):
    if depth == 0 or rng.random() < 0.4:
        return random_scalar(rng)
    if rng.random() < 0.5:
        return [random_tree(rng, depth - 1) for _ in range(rng.randrange(5))]
    pairs = EncodableMap()
    for _ in range(rng.randrange(6)):
        key = random_key(rng) if rng.random() < 0.8 else random_tree(rng, 1)
        pairs.insert(key, random_tree(rng, depth - 1))
    return pairs


def test_random_value_trees_survive_the_host_codec_byte_for_byte():
    rng = random.Random(20261206)
    for case in range(250):
        tree = random_tree(rng, 4)
        wire = codec.encode_value(tree)
        back, stderr = reencode(wire)
        assert back == wire, "case %d: %r" % (case, tree)
        assert stderr == "", "case %d wrote diagnostics: %s" % (case, stderr)


def test_sizes_of_every_size_field_width_cross_unchanged():
    tree = {"big": "x" * 70000, "mid": bytes(range(256)) * 4, "list": list(range(300)),
            "many": [None] * 65536}
    wire = codec.encode_value(tree)
    assert reencode(wire)[0] == wire


def test_truncated_messages_are_read_alike_on_both_sides():
    rng = random.Random(7)
    for case in range(150):
        wire = codec.encode_value(random_tree(rng, 3))
        cut = wire[:rng.randrange(len(wire) + 1)]
        lines = []
        expected = codec.encode_value(codec.decode_value(cut, strict=False, diagnostics=lines))
        back, stderr = reencode(cut)
        assert back == expected, "case %d: %s" % (case, cut.hex())
        assert stderr.splitlines() == lines, "case %d: %s" % (case, cut.hex())
