#include "sim/cat.h"

namespace qv7m::sim {

std::optional<int64_t> decodeBcdHz(const uint8_t* p) {
    int64_t units = 0;
    for (int i = 3; i >= 0; --i) {
        const int hi = p[i] >> 4, lo = p[i] & 0x0F;
        if (hi > 9 || lo > 9) return std::nullopt;
        units = units * 100 + hi * 10 + lo;
    }
    return units * 10;
}

std::array<uint8_t, 4> encodeBcdHz(int64_t hz) {
    int64_t units = hz / 10;
    std::array<uint8_t, 4> p{};
    for (int i = 0; i < 4; ++i) {
        const int pair = static_cast<int>(units % 100);
        units /= 100;
        p[i] = static_cast<uint8_t>((pair / 10) << 4 | (pair % 10));
    }
    return p;
}

uint32_t frequencyCount(int64_t hz) { return static_cast<uint32_t>((hz * 16 + 5) / 10); }

std::array<uint8_t, cat::kRecordBytes> operatingRecord(int64_t hz) {
    std::array<uint8_t, cat::kRecordBytes> r{};
    const uint32_t c = frequencyCount(hz);
    for (int i = 0; i < 4; ++i) r[cat::kRecordFrequencyByte - 1 + i] = static_cast<uint8_t>(c >> (24 - 8 * i));
    // Sideband as operators use it: lower below 10 MHz, upper above.
    r[7] = hz < 10000000 ? kModeLsb : kModeUsb;
    return r;
}

}  // namespace qv7m::sim
