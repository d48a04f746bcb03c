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


# --- fuzz_hex2dec: mode 0 takes the rest as UTF-8 text; mode 2 runs konvertiere.
for i, text in enumerate(["", "25", "99", "15BE68", "ABC", "abc", "ff", "G", "1G", "7FFFFFFF",
                          "80000000", "00000000000000001", "-1", "\u00c41"]):
    write("fuzz_hex2dec", "text-%02d" % i, text.encode() + bytes([0]))
k = Taken().byte(2)
for f in [1425000, 703500, 180000, 2999999, 99999, 10000000, 100000, 9999999]:
    k.byte(2).num(f, -10000000, 10000000)
write("fuzz_hex2dec", "konvertiere", k.data())

# --- fuzz_status_decode: whole status reads, one byte or nothing per read.
def status(record, empty=(1, 2, 3), end_at=0):
    t = Taken().byte(1)
    pos = 0
    for read in range(1, 17):
        if read in empty or pos >= len(record):
            t.byte(0)
        else:
            t.byte(1).byte(record[pos])
            pos += 1
    return t.byte(end_at)

record = [0x00, 0x01, 0x5B, 0xE6, 0x80, 0, 0, 0x02, 0, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF]
write("fuzz_status_decode", "14250000", status(record).data())
write("fuzz_status_decode", "silent", status([]).data())
write("fuzz_status_decode", "ffff", status([0x11] + [0xFF] * 15).data())
write("fuzz_status_decode", "quit-in-decode", status(record, end_at=3).data())
write("fuzz_status_decode", "shifted", status(record, empty=(1, 2, 3, 4)).data())

# --- fuzz_alignment: a session as the program makes it, with faults.
AS_IS = 9

def step(t, f, tamper=(AS_IS,)):
    t.byte(1).num(f, 100000, 3000000)
    for v in tamper:
        t.byte(v)
    return t

t = Taken().byte(0).byte(2).byte(AS_IS)
for i in range(6):
    step(t, 1424500 + 10 * i)
write("fuzz_alignment", "scan", t.data())

t = Taken().byte(1).byte(2).byte(AS_IS)  # values told apart
step(t, 1424500, (1, 0, 0x99))           # a byte added in front
step(t, 1424510, (0, 4))                 # the pad dropped
step(t, 1424520, (2, 0))                 # the first copy lost on the line
step(t, 1424530, (5,)).num(60000, 0, 120000)  # slow to answer
step(t, 1424540, (4,))                   # silent
step(t, 1424550, (3, 1, 2, 3, 4, 5))     # garbage
step(t, 1424560, (6, 1))                 # stops after one byte
step(t, 1424570)
t.byte(4).num(150000, 0, 400000)         # the window busy for 150 ms
t.byte(2).byte(AS_IS)
write("fuzz_alignment", "faults", t.data())

t = Taken().byte(0).byte(8).byte(7)      # eight bytes of noise
for i in range(8):
    t.num(3000 * i, 0, 300000).byte(0x55)
step(t, 1425000)
t.byte(5).byte(6)                        # close and open again
step(t, 1425000)
t.byte(9).byte(1).byte(0)                # someone set the radio's pacing to 0
t.byte(2).byte(AS_IS)
t.byte(11).byte(1)                       # the cable pulled
step(t, 1425000)
write("fuzz_alignment", "noise-reopen-gone", t.data())

t = Taken().byte(0)
t.byte(10).byte(4).num(40, 0, 40).byte(1).byte(AS_IS)  # 10 03: two records, forty reads
t.byte(12).byte(0)                                       # pacing 0
t.byte(10).byte(1).num(8, 0, 40).byte(2).byte(255).byte(AS_IS)  # read flags, paced 255 ms
step(t, 703500)
write("fuzz_alignment", "other-requests", t.data())

# --- fuzz_settings: files as the program writes them, and as people edit them.
settings = {
    "written": b" 2 \r\n 1 \r\n 3 \r\n 0 \r\nK1ABC\r\n",
    "default": b" 0 \r\n 0 \r\n 0 \r\n 0 \r\nN0CALL\r\n",
    "negative": b"-1 \r\n-1 \r\n-1 \r\n-1 \r\nN0CALL\r\n",
    "cr-only": b" 1 \r 2 \r 3 \r 1 \rK1ABC\r",
    "lf-only": b" 1 \n 2 \n 3 \n 1 \nK1ABC\n",
    "short": b" 2 \r\n 1 \r\n",
    "no-last-end": b" 1 \r\n 2 \r\n 3 \r\n 1 \r\nK1ABC",
    "latin1-call": b" 0 \r\n 0 \r\n 0 \r\n 0 \r\nG\xe9RARD\r\n",
    "utf8-call": " 0 \r\n 0 \r\n 0 \r\n 0 \r\nDL1\u00dcBER\r\n".encode(),
    "numbers": b"2.5\r\n1e1\r\n  +3  \r\n0x1\r\nK1ABC\r\nextra\r\n",
    "junk": b"\x00\xff\x01\r\n\x80\x81\r\n\x1b[2J\r\n\xfe\r\n\x00\x01\x02\r\n",
    "empty": b"",
    "long-line": b" 1 \r\n" + b"9" * 5000 + b"\r\n 2 \r\n",
}
for name, data in settings.items():
    write("fuzz_settings", name, data)
