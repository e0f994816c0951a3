"""The standard message and method codecs, as the UI program speaks them.

Python values map onto the fourteen wire alternatives like this:

    None -> null              bool -> bool            int -> int32 (int64 when it does not fit)
    Int64(n) -> int64         float -> double         str -> string (UTF-8)
    bytes/bytearray -> byte list                      Int32List/Int64List/Float64List/Float32List
    list/tuple -> list        dict/EncodableMap -> map

Decoding gives back the same types (int32 as int, int64 as Int64, maps as EncodableMap), so a
decoded tree re-encodes to the very same bytes.

Decoding is strict by default: a truncated buffer, an unknown tag, bytes left over or a string
that is not well-formed UTF-8 raise DecodeError. With strict=False the reader behaves like the
host's own reader instead (failed reads give zeros and nulls, each noted in
`Reader.diagnostics`), which lets tests predict what the host makes of damaged input.
"""

import math
import struct

__all__ = [
    "DecodeError",
    "Int64",
    "Int32List",
    "Int64List",
    "Float64List",
    "Float32List",
    "EncodableMap",
    "Reader",
    "Success",
    "Error",
    "alternative",
    "compare",
    "encode_value",
    "decode_value",
    "encode_call",
    "decode_call",
    "encode_success",
    "encode_error",
    "decode_reply",
]

INVALID_READ = "Invalid read in StandardCodecByteStreamReader"
UNKNOWN_TYPE = "Unknown type in StandardCodecSerializer::ReadValueOfType: "
BAD_METHOD_NAME = "Invalid method call; method name is not a string."

_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1
_INT64_MIN, _INT64_MAX = -(2**63), 2**63 - 1


class DecodeError(ValueError):
    """Bytes that are not a well-formed message."""


class Int64(int):
    """An integer that travels as int64 whatever its size; distinct from an equal int32."""

    def __eq__(self, other):
        return isinstance(other, Int64) and int(self) == int(other)

    def __ne__(self, other):
        return not self == other

    def __hash__(self):
        return hash(("int64", int(self)))

    def __repr__(self):
        return "Int64(%d)" % int(self)


class _TypedList(list):
    def __eq__(self, other):
        return type(self) is type(other) and list.__eq__(self, other)

    def __ne__(self, other):
        return not self == other

    __hash__ = None

    def __repr__(self):
        return "%s(%s)" % (type(self).__name__, list.__repr__(self))


class Int32List(_TypedList):
    pass


class Int64List(_TypedList):
    pass


class Float64List(_TypedList):
    pass


class Float32List(_TypedList):
    pass


# Alternative indexes, which order values of different kinds and pick the wire tag.
NULL, BOOL, INT32, INT64, DOUBLE, STRING, BYTES = 0, 1, 2, 3, 4, 5, 6
INT32_LIST, INT64_LIST, FLOAT64_LIST, LIST, MAP, CUSTOM, FLOAT32_LIST = 7, 8, 9, 10, 11, 12, 13


def alternative(value):
    """The index of the alternative a Python value travels as; TypeError if none fits."""
    if value is None:
        return NULL
    if isinstance(value, bool):
        return BOOL
    if isinstance(value, Int64):
        if not _INT64_MIN <= value <= _INT64_MAX:
            raise OverflowError("integer does not fit in 64 bits: %d" % value)
        return INT64
    if isinstance(value, int):
        if _INT32_MIN <= value <= _INT32_MAX:
            return INT32
        if _INT64_MIN <= value <= _INT64_MAX:
            return INT64
        raise OverflowError("integer does not fit in 64 bits: %d" % value)
    if isinstance(value, float):
        return DOUBLE
    if isinstance(value, str):
        return STRING
    if isinstance(value, (bytes, bytearray)):
        return BYTES
    if isinstance(value, Int32List):
        return INT32_LIST
    if isinstance(value, Int64List):
        return INT64_LIST
    if isinstance(value, Float64List):
        return FLOAT64_LIST
    if isinstance(value, Float32List):
        return FLOAT32_LIST
    if isinstance(value, (list, tuple)):
        return LIST
    if isinstance(value, (dict, EncodableMap)):
        return MAP
    raise TypeError("no wire form for %r" % type(value).__name__)


def _text_bytes(text):
    # surrogateescape keeps strings that arrived as invalid UTF-8 byte-exact on the way back.
    return text.encode("utf-8", "surrogateescape")


def _cmp(a, b):
    return (a > b) - (a < b)


def _cmp_sequences(a, b, element_compare):
    for x, y in zip(a, b):
        c = element_compare(x, y)
        if c:
            return c
    return _cmp(len(a), len(b))


def _cmp_numbers(x, y):
    # A NaN is neither less nor greater than anything, as with the floating-point less-than.
    return (x > y) - (x < y)


def _pairs(value):
    if isinstance(value, EncodableMap):
        return value.pairs()
    return EncodableMap(value).pairs()


def compare(a, b):
    """The value order: by alternative first, then by content. Returns -1, 0 or 1."""
    ia, ib = alternative(a), alternative(b)
    if ia != ib:
        return _cmp(ia, ib)
    if ia == NULL:
        return 0
    if ia in (BOOL, INT32, INT64, DOUBLE):
        return _cmp_numbers(a, b)
    if ia == STRING:
        return _cmp(_text_bytes(a), _text_bytes(b))
    if ia == BYTES:
        return _cmp(bytes(a), bytes(b))
    if ia in (INT32_LIST, INT64_LIST, FLOAT64_LIST, FLOAT32_LIST):
        return _cmp_sequences(a, b, _cmp_numbers)
    if ia == LIST:
        return _cmp_sequences(a, b, compare)
    return _cmp_sequences(
        _pairs(a), _pairs(b), lambda p, q: compare(p[0], q[0]) or compare(p[1], q[1])
    )


class _Key:
    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value

    def __lt__(self, other):
        return compare(self.value, other.value) < 0


class EncodableMap:
    """A map kept in the value order, whose keys may be any value (lists and maps too).

    Keys are equal when neither sorts before the other, so the int32 5 and Int64(5) are two
    keys while "a" is one. Inserting a key that is already present keeps the first entry, as
    the host does.
    """

    def __init__(self, source=()):
        self._keys = []
        self._values = []
        items = source.items() if isinstance(source, (dict, EncodableMap)) else source
        for key, value in items:
            self.insert(key, value)

    def _find(self, key):
        probe = _Key(key)
        lo, hi = 0, len(self._keys)
        while lo < hi:
            mid = (lo + hi) // 2
            if _Key(self._keys[mid]) < probe:
                lo = mid + 1
            else:
                hi = mid
        found = lo < len(self._keys) and compare(self._keys[lo], key) == 0
        return lo, found

    def insert(self, key, value):
        """Adds the pair unless an equal key exists; returns whether it was added."""
        index, found = self._find(key)
        if found:
            return False
        self._keys.insert(index, key)
        self._values.insert(index, value)
        return True

    def __getitem__(self, key):
        index, found = self._find(key)
        if not found:
            raise KeyError(key)
        return self._values[index]

    def get(self, key, default=None):
        index, found = self._find(key)
        return self._values[index] if found else default

    def __contains__(self, key):
        return self._find(key)[1]

    def __len__(self):
        return len(self._keys)

    def __iter__(self):
        return iter(list(self._keys))

    def keys(self):
        return list(self._keys)

    def values(self):
        return list(self._values)

    def items(self):
        return list(zip(self._keys, self._values))

    pairs = items

    def __eq__(self, other):
        if not isinstance(other, (dict, EncodableMap)):
            return NotImplemented
        return compare(self, other) == 0 and _deep_equal_pairs(self.pairs(), _pairs(other))

    def __ne__(self, other):
        result = self.__eq__(other)
        return result if result is NotImplemented else not result

    __hash__ = None

    def __repr__(self):
        return "EncodableMap({%s})" % ", ".join("%r: %r" % kv for kv in self.items())


def _deep_equal_pairs(a, b):
    # compare() treats a NaN as equal to anything of its kind; equality must not.
    return len(a) == len(b) and all(
        _same(ka, kb) and _same(va, vb) for (ka, va), (kb, vb) in zip(a, b)
    )


def _same(a, b):
    if alternative(a) != alternative(b):
        return False
    if isinstance(a, float) and math.isnan(a):
        return isinstance(b, float) and math.isnan(b)
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(_same(x, y) for x, y in zip(a, b))
    if isinstance(a, (dict, EncodableMap)):
        return _deep_equal_pairs(_pairs(a), _pairs(b))
    return a == b


# ----------------------------------------------------------------------------- writing


def _pad(out, alignment):
    remainder = len(out) % alignment
    if remainder:
        out.extend(b"\0" * (alignment - remainder))


def _write_size(out, size):
    if size < 254:
        out.append(size)
    elif size <= 0xFFFF:
        out.append(254)
        out.extend(struct.pack("<H", size))
    elif size <= 0xFFFFFFFF:
        out.append(255)
        out.extend(struct.pack("<I", size))
    else:
        # The size field holds 32 bits; anything larger would be silently cut on the wire.
        raise OverflowError("size %d does not fit the size field" % size)


_TYPED = {
    INT32_LIST: (9, 4, "i"),
    INT64_LIST: (10, 8, "q"),
    FLOAT64_LIST: (11, 8, "d"),
    FLOAT32_LIST: (14, 4, "f"),
}


def _write(out, value):
    kind = alternative(value)
    if kind == NULL:
        out.append(0)
    elif kind == BOOL:
        out.append(1 if value else 2)
    elif kind == INT32:
        out.append(3)
        out.extend(struct.pack("<i", value))
    elif kind == INT64:
        out.append(4)
        out.extend(struct.pack("<q", value))
    elif kind == DOUBLE:
        out.append(6)
        _pad(out, 8)
        out.extend(struct.pack("<d", value))
    elif kind == STRING:
        data = _text_bytes(value)
        out.append(7)
        _write_size(out, len(data))
        out.extend(data)
    elif kind == BYTES:
        out.append(8)
        _write_size(out, len(value))
        out.extend(value)
    elif kind in _TYPED:
        tag, width, code = _TYPED[kind]
        out.append(tag)
        _write_size(out, len(value))
        _pad(out, width)
        out.extend(struct.pack("<%d%s" % (len(value), code), *value))
    elif kind == LIST:
        out.append(12)
        _write_size(out, len(value))
        for element in value:
            _write(out, element)
    else:
        pairs = _pairs(value)
        out.append(13)
        _write_size(out, len(pairs))
        for key, element in pairs:
            _write(out, key)
            _write(out, element)


def encode_value(value, prefix=b""):
    """Encodes one value. `prefix` stands for bytes before it in the same message, since
    alignment padding counts from the first byte of the whole message; it is not returned."""
    out = bytearray(prefix)
    _write(out, value)
    return bytes(out[len(prefix):])


# ----------------------------------------------------------------------------- reading


# Lenient reading stands in zeros for a cut-off tail, but never invents more than this much
# past the end, and no reading follows nesting deeper than MAX_DEPTH: damaged or hostile
# input ends in DecodeError instead of gigabytes of zeros or a blown stack.
MAX_ZERO_FILL = 4096
MAX_ELEMENTS_PAST_END = 64
MAX_DEPTH = 256


class Reader:
    """Reads values from one whole message; `location` counts from its first byte."""

    def __init__(self, data, strict=True, diagnostics=None):
        self.data = bytes(data)
        self.location = 0
        self.strict = strict
        self.diagnostics = [] if diagnostics is None else diagnostics
        self.depth = 0

    def _fail(self, line):
        if self.strict:
            raise DecodeError("%s at offset %d" % (line, self.location))
        self.diagnostics.append(line)

    def next_byte(self):
        if self.location >= len(self.data):
            self._fail(INVALID_READ)
            return 0
        byte = self.data[self.location]
        self.location += 1
        return byte

    def _text(self, raw):
        # The UI decodes strings strictly and throws on malformed UTF-8, so strict reading does
        # the same; lenient reading keeps such bytes as escapes, byte-exact on the way back.
        if not self.strict:
            return raw.decode("utf-8", "surrogateescape")
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError as error:
            raise DecodeError("malformed UTF-8 in a string at offset %d: %s"
                              % (self.location - len(raw), error)) from None

    def read(self, length):
        """`length` bytes, or as many zero bytes when the buffer is too short."""
        if self.location + length > len(self.data):
            self._fail(INVALID_READ)
            if length > MAX_ZERO_FILL:
                raise DecodeError("size %d beyond the end of the message" % length)
            return bytes(length)
        chunk = self.data[self.location:self.location + length]
        self.location += length
        return chunk

    def skip_to_alignment(self, alignment):
        remainder = self.location % alignment
        if remainder:
            self.location += alignment - remainder

    def read_size(self):
        first = self.next_byte()
        if first < 254:
            return first
        if first == 254:
            return struct.unpack("<H", self.read(2))[0]
        return struct.unpack("<I", self.read(4))[0]

    def read_value(self):
        return self.read_value_of_type(self.next_byte())

    def read_value_of_type(self, tag):
        if tag > 14:
            self._fail(UNKNOWN_TYPE + str(tag))
            return None
        if tag == 0:
            return None
        if tag in (1, 2):
            return tag == 1
        if tag == 3:
            return struct.unpack("<i", self.read(4))[0]
        if tag == 4:
            return Int64(struct.unpack("<q", self.read(8))[0])
        if tag == 6:
            self.skip_to_alignment(8)
            return struct.unpack("<d", self.read(8))[0]
        if tag in (5, 7):
            return self._text(self.read(self.read_size()))
        if tag == 8:
            return self.read(self.read_size())
        if tag in (9, 10, 11, 14):
            kind = {9: INT32_LIST, 10: INT64_LIST, 11: FLOAT64_LIST, 14: FLOAT32_LIST}[tag]
            _, width, code = _TYPED[kind]
            count = self.read_size()
            self.skip_to_alignment(width)
            raw = self.read(count * width)
            cls = {INT32_LIST: Int32List, INT64_LIST: Int64List,
                   FLOAT64_LIST: Float64List, FLOAT32_LIST: Float32List}[kind]
            return cls(struct.unpack("<%d%s" % (count, code), raw))
        if self.depth >= MAX_DEPTH:
            raise DecodeError("values nested deeper than %d levels" % MAX_DEPTH)
        self.depth += 1
        count = self.read_size()
        past_end = 0
        items = [] if tag == 12 else EncodableMap()
        for _ in range(count):
            if self.location >= len(self.data):
                past_end += 1
                if past_end > MAX_ELEMENTS_PAST_END:
                    raise DecodeError("%d elements announced beyond the end" % count)
            if tag == 12:
                items.append(self.read_value())
            else:
                key = self.read_value()
                items.insert(key, self.read_value())
        self.depth -= 1
        return items

    def expect_end(self):
        if self.strict and self.location != len(self.data):
            raise DecodeError(
                "%d bytes left after the message" % (len(self.data) - self.location)
            )


def decode_value(data, strict=True, diagnostics=None):
    """Decodes one bare value starting at offset 0. In lenient mode the host's diagnostic
    lines go to the `diagnostics` list when one is given."""
    reader = Reader(data, strict, diagnostics)
    value = reader.read_value()
    reader.expect_end()
    return value


# ----------------------------------------------------------------------------- method codec


def encode_call(method, arguments=None):
    """A method call: the name as a string value, then the argument (null when None)."""
    if not isinstance(method, str):
        raise TypeError("method name must be a str")
    out = bytearray()
    _write(out, method)
    _write(out, arguments)
    return bytes(out)


def decode_call(data, strict=True, diagnostics=None):
    """(method name, argument value). A first value other than a string is DecodeError in
    strict mode; in lenient mode it gives None, with the host's diagnostic noted."""
    reader = Reader(data, strict, diagnostics)
    name = reader.read_value()
    if not isinstance(name, str):
        if strict:
            raise DecodeError(BAD_METHOD_NAME)
        reader.diagnostics.append(BAD_METHOD_NAME)
        return None
    arguments = reader.read_value()
    reader.expect_end()
    return name, arguments


def encode_success(result=None):
    out = bytearray(b"\x00")
    _write(out, result)
    return bytes(out)


def encode_error(code, message="", details=None):
    """An error envelope; an empty message travels as null, an empty code as a string."""
    out = bytearray(b"\x01")
    _write(out, code)
    _write(out, message if message else None)
    _write(out, details)
    return bytes(out)


class Success:
    def __init__(self, value):
        self.value = value

    def __eq__(self, other):
        return isinstance(other, Success) and _same(self.value, other.value)

    def __repr__(self):
        return "Success(%r)" % (self.value,)


class Error:
    def __init__(self, code, message, details):
        self.code = code
        self.message = message
        self.details = details

    def __eq__(self, other):
        return (
            isinstance(other, Error)
            and (self.code, self.message) == (other.code, other.message)
            and _same(self.details, other.details)
        )

    def __repr__(self):
        return "Error(%r, %r, %r)" % (self.code, self.message, self.details)


def decode_reply(data, strict=True, diagnostics=None):
    """Success(value) or Error(code, message, details). An envelope byte other than 0 or 1,
    or an error whose code is not a string or whose message is neither null nor a string,
    is DecodeError in both modes: no answer can be read out of it."""
    reader = Reader(data, strict, diagnostics)
    kind = reader.next_byte()
    if kind == 0:
        value = reader.read_value()
        reader.expect_end()
        return Success(value)
    if kind == 1:
        code = reader.read_value()
        message = reader.read_value()
        details = reader.read_value()
        reader.expect_end()
        if not isinstance(code, str) or not (message is None or isinstance(message, str)):
            raise DecodeError("malformed error envelope")
        return Error(code, message or "", details)
    raise DecodeError("unknown envelope byte %d" % kind)
