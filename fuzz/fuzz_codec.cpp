// SPDX-License-Identifier: GPL-3.0-or-later
// The CAT codec's packed BCD and meter shape against a second reading of the
// same rules, worked out on text rather than on nibbles: packed BCD is the
// decimal digits read back as hexadecimal, and a meter answer is a string it
// must begin. Each round takes a check and its inputs, until the input runs
// out.

#include <fuzzer/FuzzedDataProvider.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "radio/cat_codec.h"

using namespace qv7m;

namespace {

std::string hexText(const uint8_t* bytes, size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", unsigned(bytes[i]));
        text += two;
    }
    return text;
}

// Packed BCD of a count: its last eight decimal digits (a negative count
// counts down from 10^8), each pair read as a hexadecimal byte, least
// significant pair first.
void checkCount(int64_t units) {
    const uint64_t magnitude = units < 0 ? 0 - uint64_t(units) : uint64_t(units);
    char printed[32];
    std::snprintf(printed, sizeof printed, "%08" PRIu64, magnitude);
    long long residue = std::strtoll(printed + std::strlen(printed) - 8, nullptr, 10);
    if (units < 0 && residue != 0) residue = 100000000 - residue;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08lld", residue);
    cat::Bcd want{};
    for (size_t i = 0; i < 4; ++i)
        want[i] = uint8_t(std::strtoul(std::string(digits + 6 - 2 * i, 2).c_str(), nullptr, 16));
    const cat::Bcd got = cat::packedBcd(units);
    FUZZ_CHECK(got == want, "packedBcd(%" PRId64 ") is %s, not %s", units, hexText(got.data(), 4).c_str(), digits);
    FUZZ_CHECK(cat::unitsFromBcd(got) == residue, "packedBcd(%" PRId64 ") does not read back", units);

    // VFO-B takes a count printed with six or seven digits and no sign; VFO-A 100 kHz to 30 MHz.
    std::snprintf(printed, sizeof printed, "%" PRId64, units);
    const size_t length = std::strlen(printed);
    const bool sixOrSeven = std::strspn(printed, "0123456789") == length && (length == 6 || length == 7);
    FUZZ_CHECK(cat::vfoBDigits(units) == (sixOrSeven ? std::optional(want) : std::nullopt), "vfoBDigits(%s)", printed);
    const bool tunable = units >= 10000 && units <= 3000000;
    FUZZ_CHECK(cat::vfoADigits(units) == (tunable ? std::optional(want) : std::nullopt), "vfoADigits(%s)", printed);
}

// A meter answer begins "RRRRRRRRF7" for its first byte RR.
void checkMeter(const uint8_t* bytes, size_t n) {
    char answer[16];
    const unsigned r = bytes[0];
    std::snprintf(answer, sizeof answer, "%02X%02X%02X%02XF7", r, r, r, r);
    const bool begins = hexText(bytes, n) == std::string(answer).substr(0, 2 * n);
    FUZZ_CHECK(cat::meterShapeHolds(bytes, n) == begins, "meterShapeHolds(%s)", hexText(bytes, n).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 1)) {
        case 0: {
            const int kind = in.ConsumeIntegralInRange(0, 2);
            if (kind == 0) checkCount(in.ConsumeIntegral<int64_t>());
            if (kind == 1) checkCount(in.ConsumeIntegralInRange<int64_t>(-20000000, 200000000));
            if (kind == 2) {
                checkCount(
                    in.PickValueInArray<int64_t>({0, 9999, 10000, 99999, 100000, 3000000, 3000001, 9999999, 10000000,
                                                  99999999, 100000000, -1, -100000, INT64_MIN, INT64_MAX}));
            }
            break;
        }
        case 1: {
            // Copies and pads are rare among any bytes: each byte is one of them or anything.
            uint8_t bytes[5];
            bytes[0] = in.ConsumeIntegral<uint8_t>();
            const size_t n = in.ConsumeIntegralInRange<size_t>(0, 5);
            for (size_t k = 1; k < 5; ++k) {
                const int kind = in.ConsumeIntegralInRange(0, 2);
                bytes[k] = kind == 0 ? bytes[0] : kind == 1 ? uint8_t(0xF7) : in.ConsumeIntegral<uint8_t>();
            }
            checkMeter(bytes, n);
            break;
        }
        }
    }
    return 0;
}
