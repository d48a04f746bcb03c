// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial line beneath the radio's operations, as narrow as the program
// needs it: open a port with its settings, close it, write bytes, and wait
// for bytes until a deadline. Received bytes come back stamped with the
// moment they were taken in, on the line's own clock. The real line sits on
// the serial port; tests run the simulated radio behind the same interface.

#include "radio/cat_codec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv7m {

// Nanoseconds on the line's own clock (monotonic).
using LineTime = int64_t;

constexpr LineTime kMillisecond = 1000000;
constexpr LineTime kByteTime = cat::kByteNs;

struct StampedByte {
    uint8_t value;
    LineTime at;
};

// The radio's CAT port: 4800 baud, 8 data bits, no parity, 2 stop bits, no handshake.
struct LineSettings {
    int baud = 4800;
    int dataBits = 8;
    int stopBits = 2;
};

class Line {
public:
    virtual ~Line() = default;

    // Opens port n (COM1 is 1) with the settings; throws RuntimeError(Serial)
    // naming the port, its device and the system's reason when it cannot.
    virtual void open(int16_t port, const LineSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Sends the bytes in order, in one write. Throws RuntimeError(Serial)
    // when the port is closed or has gone away.
    virtual void write(const uint8_t* bytes, size_t count) = 0;
    // Takes in what has arrived, blocking until at least one byte is there or
    // the deadline has passed; a deadline not after now() only collects. Each
    // byte is appended with the time it was taken in. Throws
    // RuntimeError(Serial) when the port is closed or has gone away.
    virtual void receive(LineTime deadline, std::vector<StampedByte>& out) = 0;
    // Asks that receive() block until at least n bytes are there (or the
    // deadline), rather than wake for each one: bytes are then taken in, and
    // stamped, together. True when the line does so; a line that does not
    // goes on waking at the first byte.
    virtual bool wakeAfterBytes(int n) {
        (void)n;
        return false;
    }
    virtual LineTime now() const = 0;
    // Waits without a port, as the program's pause between steps does when
    // the link is closed.
    virtual void sleep(LineTime duration) = 0;
};

}  // namespace qv7m
