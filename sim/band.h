// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The band the simulated radio listens to, and the S-meter reading it gives at
// any frequency. The reading depends on the frequency, the band and the seed
// only, never on time, so a test can recompute what the radio reported.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace qv7m::sim {

struct Signal {
    double freqHz = 0;   // centre of the signal
    double widthHz = 0;  // occupied bandwidth; 0 is a bare carrier
    double level = 0;    // meter reading (0..255) with the signal inside the filter
};

struct Band {
    double floor = 24;             // meter reading with no signal in the filter
    double noise = 3;              // repeatable noise, +- meter units
    double filterHz = 2400;        // receive filter: flat width
    double skirtHz = 600;          // ... and the distance beyond each edge to -60 dB
    std::vector<Signal> carriers;  // not "signals": that word is a macro to Qt code including this
};

// CW and SSB signals around 14.250 MHz and around 7.035 MHz.
Band builtinBand();

// Reads the band file format (see qv7m-radio --help): '#' starts a comment,
// "floor N", "noise N", "filter HZ", "skirt HZ", and otherwise one signal a
// line, "frequency_hz width_hz level". On failure returns false and sets
// `error` to "line N: what is wrong".
bool parseBand(std::istream& in, Band& band, std::string& error);
// parseBand on a file; `error` then starts with the file name.
bool loadBandFile(const std::string& path, Band& band, std::string& error);

class Meter {
public:
    Meter(Band band, uint64_t seed);
    // The meter byte (0..255) a receiver tuned to `hz` shows.
    int reading(int64_t hz) const;
    // The same without the noise and before rounding: what the signals give.
    double level(int64_t hz) const;
    const Band& band() const { return band_; }

private:
    double fraction(const Signal& s, double hz) const;
    double filterIntegral(double u) const;

    Band band_;
    uint64_t seed_;
    double k_;  // skirt decay, per Hz
};

// The noise draws' mixer: the same input always gives the same bits.
uint64_t splitmix64(uint64_t x);

// Meter units per decade of power: 2.5 units a dB.
constexpr double kUnitsPerDecade = 25.0;

}  // namespace qv7m::sim
