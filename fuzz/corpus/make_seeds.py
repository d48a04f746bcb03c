#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into the folders beside this file.

The targets read their inputs with FuzzedDataProvider, which takes numbers
from the end of the input, most significant byte first; each seed is written
here in the order the target takes it and reversed into the file."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    os.makedirs(os.path.join(HERE, target), exist_ok=True)
    with open(os.path.join(HERE, target, name), "wb") as f:
        f.write(bytes(data))


class Taken:
    """Values in the order the target takes them from the end of its input."""

    def __init__(self):
        self.order = []

    def byte(self, v):
        self.order.append(v & 0xFF)
        return self

    def num(self, v, lo, hi):
        # As many bytes as the range needs, most significant first.
        span, n = hi - lo, 0
        while span >> (8 * n):
            n += 1
        for i in reversed(range(n)):
            self.byte((v - lo) >> (8 * i))
        return self

    def data(self, front=b""):
        return bytes(front) + bytes(reversed(self.order))


# --- fuzz_codec: rounds of a check (0 counts, 1 meter answers) and its inputs.
INT64 = (-(1 << 63), (1 << 63) - 1)
PICKED = [0, 9999, 10000, 99999, 100000, 3000000, 3000001, 9999999, 10000000, 99999999,
          100000000, -1, -100000, INT64[0], INT64[1]]

k = Taken()
for units in [1425000, -1, INT64[0], 123456789012]:
    k.num(0, 0, 1).num(0, 0, 2).num(units, *INT64)
for units in [703500, 9999999, 10000000, 3000000, -12345]:
    k.num(0, 0, 1).num(1, 0, 2).num(units, -20000000, 200000000)
for i in range(len(PICKED)):
    k.num(0, 0, 1).num(2, 0, 2).num(i, 0, len(PICKED) - 1)
write("fuzz_codec", "counts", k.data())

COPY, PAD, ANY = range(3)
k = Taken()
for first, n, rest in [(0x42, 5, [COPY, COPY, COPY, PAD]), (0x00, 3, [COPY, (ANY, 0x01), COPY, PAD]),
                       (0xF7, 5, [PAD, PAD, PAD, PAD]), (0x80, 5, [COPY, COPY, COPY, (ANY, 0x80)]),
                       (0x10, 0, [(ANY, 0x11), COPY, COPY, PAD])]:
    k.num(1, 0, 1).byte(first).num(n, 0, 5)
    for r in rest:
        if isinstance(r, tuple):
            k.num(ANY, 0, 2).byte(r[1])
        else:
            k.num(r, 0, 2)
write("fuzz_codec", "meter", k.data())
