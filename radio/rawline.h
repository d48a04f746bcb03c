#pragma once
// The bare serial line beneath the alignment layer: bytes go out at once,
// received bytes come back stamped with the moment they were taken in (late
// when the program was busy), and a clock to measure both against. The real
// one sits on the serial port; tests run the simulated radio on a virtual clock.

#include "radio/commcontrol.h"
#include "radio/cat_codec.h"

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

class RawLine : public CommControl {
public:
    virtual LineTime now() const = 0;
    // Takes in what has arrived, blocking until at least one byte is there or
    // the deadline has passed; a deadline not after now() only collects. Each
    // byte is appended with the time it was taken in. Throws RuntimeError(Serial)
    // when the port is closed or has gone away.
    virtual void receive(LineTime deadline, std::vector<StampedByte>& out) = 0;
};

}  // namespace qv7m
