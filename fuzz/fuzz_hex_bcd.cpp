// hexToInt32 on any text returns what a 128-bit evaluation of its digits
// gives, or raises an overflow where that leaves 32 bits. bcdOf on any value
// spells the frequency in packed BCD, least significant pair first, within
// the eight digits the radio takes, and gives nothing outside them.

#include <fuzzer/FuzzedDataProvider.h>
#include "core/runtime_error.h"
#include "fuzz_common.h"
#include "radio/radiolink.h"

using namespace qv7m;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeIntegralInRange(0, 2) < 2) {
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        const QString text = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
        __int128 sum = 0;
        bool overflow = false;
        for (qsizetype i = text.size() - 1, power = 0; i >= 0 && !overflow; --i, ++power) {
            // Anything but "0123456789ABCDEF" counts as -1; past 16^30, only overflow matters.
            const int d = QStringLiteral("0123456789ABCDEF").indexOf(text.at(i));
            if (d != 0 && power <= 30) sum += d * (__int128(1) << (4 * power));
            overflow = d != 0 && (power > 30 || sum < INT32_MIN || sum > INT32_MAX);
        }
        try {
            const int32_t got = RadioLink::hexToInt32(text);
            FUZZ_CHECK(!overflow && got == int32_t(sum), "hexToInt32 returned %d", int(got));
        } catch (const RuntimeError& e) {
            FUZZ_CHECK(e.kind() == RuntimeError::Kind::Overflow && overflow, "hexToInt32 raised wrongly");
        }
        return 0;
    }
    while (in.remaining_bytes() > 0) {
        const int kind = in.ConsumeIntegralInRange(0, 3);
        const int32_t units =
            kind == 0   ? in.ConsumeIntegral<int32_t>()
            : kind == 1 ? in.ConsumeIntegralInRange<int32_t>(100000, 9999999)
            : kind == 2 ? in.ConsumeIntegralInRange<int32_t>(-10000000, 10000000)
                        : in.PickValueInArray<int32_t>({0, 99999, 100000, 9999999, 10000000, -100000, INT32_MIN});
        const auto bcd = RadioLink::bcdOf(units);
        int32_t spelled = 0;
        for (int i = 3; bcd && i >= 0; --i) {
            const uint8_t b = (*bcd)[size_t(i)];
            FUZZ_CHECK((b & 0x0F) <= 9 && b >> 4 <= 9, "bcdOf(%d): pair %d is 0x%X", int(units), i, int(b));
            spelled = spelled * 100 + (b >> 4) * 10 + (b & 0x0F);
        }
        FUZZ_CHECK(units >= 100000 && units <= 9999999 ? bcd && spelled == units : !bcd, "bcdOf(%d) spells %d",
                   int(units), int(spelled));
    }
    return 0;
}
