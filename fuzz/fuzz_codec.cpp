// The CAT codec against a second reading of the same rules, worked out on
// text rather than on nibbles: packed BCD is the decimal digits read back as
// hexadecimal, the record's count is its four bytes printed in hexadecimal,
// and the meter answer is a string it must begin. Each round takes a check
// and its inputs, until the input runs out.

#include <fuzzer/FuzzedDataProvider.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
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

// The last eight decimal digits of `units`, as the radio's residue: a
// negative count counts down from 10^8.
std::string eightDigits(int64_t units) {
    const uint64_t magnitude = units < 0 ? 0 - uint64_t(units) : uint64_t(units);
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIu64, magnitude);
    const std::string tail = std::string(text).substr(std::strlen(text) - 8);
    long long residue = std::strtoll(tail.c_str(), nullptr, 10);
    if (units < 0 && residue != 0) residue = 100000000 - residue;
    std::snprintf(text, sizeof text, "%08lld", residue);
    return text;
}

// Each pair of decimal digits, read as a hexadecimal byte, least significant
// pair first.
cat::Bcd oracleBcd(int64_t units) {
    const std::string digits = eightDigits(units);
    cat::Bcd bcd{};
    for (size_t i = 0; i < 4; ++i) {
        const std::string pair = digits.substr(6 - 2 * i, 2);
        bcd[i] = uint8_t(std::strtoul(pair.c_str(), nullptr, 16));
    }
    return bcd;
}

// The bytes printed most significant first: a count when every character
// is a decimal digit.
std::optional<int64_t> oracleUnits(const cat::Bcd& bcd) {
    const uint8_t reversed[4] = {bcd[3], bcd[2], bcd[1], bcd[0]};
    const std::string text = hexText(reversed, 4);
    if (std::strspn(text.c_str(), "0123456789") != text.size()) return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}

void checkCount(int64_t units) {
    const cat::Bcd want = oracleBcd(units);
    const cat::Bcd got = cat::packedBcd(units);
    FUZZ_CHECK(got == want, "packedBcd(%" PRId64 ") is %s, not %s", units, hexText(got.data(), 4).c_str(),
               hexText(want.data(), 4).c_str());

    const std::optional<int64_t> back = cat::unitsFromBcd(got);
    const long long residue = std::strtoll(eightDigits(units).c_str(), nullptr, 10);
    FUZZ_CHECK(back.has_value(), "packedBcd(%" PRId64 ") does not read back", units);
    FUZZ_CHECK(*back == residue, "packedBcd(%" PRId64 ") reads back as %" PRId64, units, *back);

    // VFO-B: a count printed with six or seven digits and no sign.
    char printed[32];
    std::snprintf(printed, sizeof printed, "%" PRId64, units);
    const size_t length = std::strlen(printed);
    const bool allDigits = std::strspn(printed, "0123456789") == length;
    const bool sixOrSeven = allDigits && (length == 6 || length == 7);
    const auto vfoB = cat::vfoBDigits(units);
    FUZZ_CHECK(vfoB.has_value() == sixOrSeven, "vfoBDigits(%" PRId64 ") is %s", units, vfoB ? "set" : "empty");
    if (vfoB) FUZZ_CHECK(*vfoB == want, "vfoBDigits(%" PRId64 ") spells %s", units, hexText(vfoB->data(), 4).c_str());

    // VFO-A: 100 kHz to 30 MHz, in 10 Hz.
    const bool tunable = units >= 10000 && units <= 3000000;
    const auto vfoA = cat::vfoADigits(units);
    FUZZ_CHECK(vfoA.has_value() == tunable, "vfoADigits(%" PRId64 ") is %s", units, vfoA ? "set" : "empty");
    if (vfoA) FUZZ_CHECK(*vfoA == want, "vfoADigits(%" PRId64 ") spells %s", units, hexText(vfoA->data(), 4).c_str());
}

void checkDigits(const cat::Bcd& bcd) {
    const std::optional<int64_t> want = oracleUnits(bcd);
    const std::optional<int64_t> got = cat::unitsFromBcd(bcd);
    FUZZ_CHECK(got.has_value() == want.has_value(), "unitsFromBcd(%s) is %s", hexText(bcd.data(), 4).c_str(),
               got ? "set" : "empty");
    if (!got) return;
    FUZZ_CHECK(*got == *want, "unitsFromBcd(%s) is %" PRId64 ", not %" PRId64, hexText(bcd.data(), 4).c_str(), *got,
               *want);
    FUZZ_CHECK(cat::packedBcd(*got) == bcd, "unitsFromBcd(%s) does not spell back", hexText(bcd.data(), 4).c_str());
}

void checkRecord(const uint8_t (&record)[16]) {
    const std::string text = hexText(record + 1, 4);
    const auto count = uint32_t(std::strtoul(text.c_str(), nullptr, 16));
    FUZZ_CHECK(cat::recordCount(record) == count, "recordCount of %s is %" PRIu32, text.c_str(),
               cat::recordCount(record));

    const auto units = int32_t(std::strtol(text.substr(1, 6).c_str(), nullptr, 16));
    FUZZ_CHECK(cat::recordUnits(count) == units, "recordUnits(%s) is %" PRId32, text.c_str(), cat::recordUnits(count));

    const double hz = std::floor(count * 0.625);
    const bool tunable = hz >= 100000.0 && hz <= 30000000.0;
    FUZZ_CHECK(cat::recordFrequencyHolds(count) == tunable, "recordFrequencyHolds(%s) is %d", text.c_str(),
               int(cat::recordFrequencyHolds(count)));
}

void checkOperatingRecord(int64_t hz) {
    const auto record = cat::operatingRecord(hz);
    const std::string text = hexText(record.data() + 1, 4);
    const double exact = std::strtoul(text.c_str(), nullptr, 16) * 0.625;
    // The nearest count: never more than half a 0.625 Hz step away.
    FUZZ_CHECK(std::fabs(exact - double(hz)) <= 0.3125, "operatingRecord(%" PRId64 ") holds %s", hz, text.c_str());

    const uint32_t count = cat::recordCount(record.data());
    const int64_t read = int64_t(cat::recordUnits(count)) * 10;
    FUZZ_CHECK(std::llabs(read - hz) < 10, "operatingRecord(%" PRId64 ") reads as %" PRId64 " Hz", hz, read);
    FUZZ_CHECK(cat::recordFrequencyHolds(count), "operatingRecord(%" PRId64 ") does not hold", hz);

    const char* mode = cat::modeName(record[7]);
    const char* sideband = hz < 10000000 ? "LSB" : "USB";
    FUZZ_CHECK(mode != nullptr, "operatingRecord(%" PRId64 ") has mode byte %02X", hz, unsigned(record[7]));
    FUZZ_CHECK(std::strcmp(mode, sideband) == 0, "operatingRecord(%" PRId64 ") is %s", hz, mode);

    for (size_t i : {0, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15})
        FUZZ_CHECK(record[i] == 0, "operatingRecord(%" PRId64 "): byte %zu is %02X", hz, i + 1, unsigned(record[i]));
}

void checkMeter(const uint8_t* bytes, size_t n) {
    char answer[16];
    std::snprintf(answer, sizeof answer, "%02X%02X%02X%02X%02X", unsigned(bytes[0]), unsigned(bytes[0]),
                  unsigned(bytes[0]), unsigned(bytes[0]), 0xF7u);
    const bool begins = hexText(bytes, n) == std::string(answer).substr(0, 2 * n);
    FUZZ_CHECK(cat::meterShapeHolds(bytes, n) == begins, "meterShapeHolds(%s) is %d", hexText(bytes, n).c_str(),
               int(cat::meterShapeHolds(bytes, n)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0: {
            const int kind = in.ConsumeIntegralInRange(0, 2);
            const int64_t units =
                kind == 0 ? in.ConsumeIntegral<int64_t>()
                : kind == 1
                    ? in.ConsumeIntegralInRange<int64_t>(-20000000, 200000000)
                    : in.PickValueInArray<int64_t>({0, 9999, 10000, 99999, 100000, 3000000, 3000001, 9999999, 10000000,
                                                    99999999, 100000000, -1, -100000, INT64_MIN, INT64_MAX});
            checkCount(units);
            break;
        }
        case 1: {
            cat::Bcd bcd{};
            for (auto& b : bcd) b = in.ConsumeIntegral<uint8_t>();
            checkDigits(bcd);
            break;
        }
        case 2: {
            uint8_t record[16];
            for (auto& b : record) b = in.ConsumeIntegral<uint8_t>();
            // Counts near the tunable range are rare among any four bytes.
            if (in.ConsumeBool()) {
                const uint32_t count = in.ConsumeIntegralInRange<uint32_t>(0, 50000000);
                for (int i = 0; i < 4; ++i) record[1 + i] = uint8_t(count >> (24 - 8 * i));
            }
            checkRecord(record);
            break;
        }
        case 3: checkOperatingRecord(in.ConsumeIntegralInRange<int64_t>(100000, 30000000)); break;
        case 4: {
            // Copies and pads are rare among any bytes: each byte is one of
            // them or anything.
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
