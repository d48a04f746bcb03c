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

# --- fuzz_alignment: the radio's timing, line faults, then the program's calls.
STEP, HOLD_PASS, STATUS, SLEEP, HELD_UP, REOPEN = range(6)
DROP, ADD, GARBLE = range(3)

def session(before=True, latency_us=3000, jitter_us=0, batch_ms=0, faults=(), left_pacing=0):
    t = Taken().byte(before).num(latency_us, 0, 50000).num(jitter_us, 0, 20000).num(batch_ms, 0, 32)
    t.num(len(faults), 0, 3)
    for kind, answer, byte in faults:
        t.num(kind, 0, 2).num(answer, 0, 40).num(byte, 0, 15)
    return t.byte(left_pacing)

def sweep(t, steps, first):  # a status read, then steps from 14.200 MHz + first x 10 Hz
    t.byte(STATUS)
    for i in range(steps):
        t.byte(STEP).byte(0).num(first + 10 * i, 0, 10000).byte(SLEEP).num(10, 0, 60)
    return t

def held_up(t, ms, calls_ahead=None):  # None: on waking from the next wait
    t.byte(HELD_UP).num(ms, 0, 1500).byte(calls_ahead is None)
    return t if calls_ahead is None else t.num(calls_ahead, 0, 24)

def reopen(t, left_pacing=None, stray_reads=0):
    t.byte(REOPEN).byte(left_pacing is not None)
    return (t if left_pacing is None else t.byte(left_pacing)).num(stray_reads, 0, 3)

t = sweep(session(), 12, 4000).byte(HOLD_PASS).byte(HOLD_PASS)
write("fuzz_alignment", "scan", sweep(reopen(t), 6, 4100).data())
t = held_up(sweep(session(before=False, latency_us=5000, jitter_us=10000, batch_ms=16), 8, 5000), 40)
write("fuzz_alignment", "jitter-batch-busy", sweep(held_up(sweep(t, 4, 5200), 100, 7), 4, 5300).data())
t = session(faults=[(DROP, 3, 2), (ADD, 6, 4), (GARBLE, 10, 5)])
write("fuzz_alignment", "line-faults", sweep(t, 12, 3500).data())
t = held_up(sweep(session(latency_us=40000, jitter_us=10000), 4, 6000), 600, 4)
write("fuzz_alignment", "held-up", sweep(held_up(sweep(t, 3, 6100), 1200), 3, 6200).data())
t = reopen(sweep(session(left_pacing=255), 2, 200), left_pacing=100, stray_reads=3)
write("fuzz_alignment", "left-pacing-reopen", reopen(sweep(t, 3, 300)).byte(HOLD_PASS).data())

# --- fuzz_rigctl: chunks of a client's bytes, each after its header and length.
def chunk(client, data, unusable=False, silent=False):
    return bytes([client | unusable << 2 | silent << 3, len(data)]) + data

rigctl = {
    "commands": chunk(0, b"f\nF 14252470\nm\nl STRENGTH\nv\ns\nt\n\\chk_vfo\n"),
    "extended": chunk(1, b"+f\n;m\n+\\set_freq 7031230\n|l STRENGTH\n+\\dump_state\n"),
    "interleaved": chunk(0, b"F 70") + chunk(1, b"f\r\n") + chunk(0, b"31230\n") + chunk(2, b"q\n"),
    "edges": chunk(0, b"F 30000000\nF 30000010\nF 99999\nF\nF 1e7\nF -5\nS 1 VFOB\nV VFOB\nx\n"),
    "radio-down": chunk(3, b"f\nF 7031230\nm\n", unusable=True) + chunk(3, b"f\nl STRENGTH\n", silent=True),
}
for name, data in rigctl.items():
    write("fuzz_rigctl", name, data)

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
