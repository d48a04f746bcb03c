// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/band.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace qv7m::sim {

Band builtinBand() {
    Band b;
    // Width 2700 is an SSB voice signal, 100..150 a CW carrier with its keying.
    b.carriers = {
        // 20 m phone, around 14.250 MHz
        {14212000, 2700, 95},
        {14225500, 2700, 140},
        {14236000, 2700, 120},
        {14243500, 150, 165},
        {14250000, 2700, 185},
        {14254200, 120, 200},
        {14258000, 2700, 110},
        {14263500, 2700, 150},
        {14271000, 150, 90},
        {14284000, 2700, 130},
        // 40 m CW, around 7.035 MHz, and some SSB above it
        {7003000, 150, 110},
        {7012500, 150, 80},
        {7021000, 150, 140},
        {7028000, 150, 100},
        {7031500, 150, 175},
        {7035000, 150, 195},
        {7036200, 100, 120},
        {7040500, 150, 150},
        {7060000, 2700, 160},
        {7068000, 2700, 120},
    };
    return b;
}

namespace {

std::string trim(const std::string& s) {
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(a, e - a + 1);
}

// A whole token as a finite number, or false.
bool number(const std::string& tok, double& v) {
    if (tok.empty()) return false;
    char* end = nullptr;
    v = std::strtod(tok.c_str(), &end);
    return end && *end == '\0' && std::isfinite(v);
}

}  // namespace

bool parseBand(std::istream& in, Band& band, std::string& error) {
    Band b;
    b.carriers.clear();
    std::string raw;
    int lineNo = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNo) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        const auto hash = raw.find('#');
        const std::string line = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (line.empty()) continue;
        std::istringstream words(line);
        std::vector<std::string> tok;
        for (std::string w; words >> w;) tok.push_back(w);

        const std::string& key = tok[0];
        if (key == "floor" || key == "noise" || key == "filter" || key == "skirt") {
            double v = 0;
            if (tok.size() != 2 || !number(tok[1], v)) return fail("expected '" + key + " NUMBER'");
            if (key == "floor") {
                if (v < 0 || v > 255) return fail("floor must be 0..255");
                b.floor = v;
            } else if (key == "noise") {
                if (v < 0 || v > 50) return fail("noise must be 0..50");
                b.noise = v;
            } else if (key == "filter") {
                if (v < 100 || v > 20000) return fail("filter must be 100..20000 Hz");
                b.filterHz = v;
            } else {
                if (v < 10 || v > 20000) return fail("skirt must be 10..20000 Hz");
                b.skirtHz = v;
            }
            continue;
        }
        Signal s;
        if (tok.size() != 3 || !number(tok[0], s.freqHz) || !number(tok[1], s.widthHz) || !number(tok[2], s.level)) {
            return fail("expected 'frequency_hz width_hz level' or floor/noise/filter/skirt");
        }
        if (s.freqHz <= 0 || s.freqHz > 1e9) return fail("frequency out of range");
        if (s.widthHz < 0 || s.widthHz > 1e6) return fail("width out of range");
        if (s.level < 0 || s.level > 255) return fail("level must be 0..255");
        b.carriers.push_back(s);
    }
    if (in.bad()) return fail("read error");
    band = std::move(b);
    return true;
}

bool loadBandFile(const std::string& path, Band& band, std::string& error) {
    std::ifstream f(path);
    if (!f) {
        error = path + ": cannot open band file";
        return false;
    }
    if (!parseBand(f, band, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

uint64_t splitmix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

namespace {

double power(double units) { return std::pow(10.0, units / kUnitsPerDecade); }

}  // namespace

Meter::Meter(Band band, uint64_t seed)
    : band_(std::move(band)), seed_(seed), k_(std::log(10.0) * 6.0 / band_.skirtHz) {}

// Integral of the filter's power gain from 0 to u: flat to the edge, then an
// exponential skirt (straight in dB) that reaches -60 dB after skirtHz.
double Meter::filterIntegral(double u) const {
    const double sign = u < 0 ? -1.0 : 1.0;
    u = std::fabs(u);
    const double edge = band_.filterHz / 2;
    if (u <= edge) return sign * u;
    return sign * (edge + (1.0 - std::exp(-k_ * (u - edge))) / k_);
}

// Share of the signal's power that passes a filter centred on hz; the signal
// is spread evenly over its width.
double Meter::fraction(const Signal& s, double hz) const {
    const double off = s.freqHz - hz;
    if (s.widthHz < 1.0) {
        const double beyond = std::fabs(off) - band_.filterHz / 2;
        return beyond <= 0 ? 1.0 : std::exp(-k_ * beyond);
    }
    const double a = off - s.widthHz / 2, b = off + s.widthHz / 2;
    return (filterIntegral(b) - filterIntegral(a)) / s.widthHz;
}

double Meter::level(int64_t hz) const {
    double total = power(band_.floor);
    for (const Signal& s : band_.carriers) {
        // Beyond 100 dB down a signal adds nothing visible.
        if (std::fabs(s.freqHz - static_cast<double>(hz)) > s.widthHz / 2 + band_.filterHz / 2 + 2 * band_.skirtHz)
            continue;
        total += power(s.level) * fraction(s, static_cast<double>(hz));
    }
    return kUnitsPerDecade * std::log10(total);
}

int Meter::reading(int64_t hz) const {
    const uint64_t h = splitmix64(seed_ ^ splitmix64(static_cast<uint64_t>(hz)));
    const double u = static_cast<double>(h >> 11) / 9007199254740992.0;  // [0, 1)
    double m = level(hz) + band_.noise * (2 * u - 1);
    // The meter bends over near full scale: readings rarely pass F0.
    constexpr double knee = 224, room = 31;
    if (m > knee) m = knee + room * std::tanh((m - knee) / room);
    return std::clamp(static_cast<int>(std::lround(m)), 0, 255);
}

}  // namespace qv7m::sim
