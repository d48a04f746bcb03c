// Hex2Dec on any text returns what a 128-bit evaluation of its digits gives,
// or raises an overflow where that leaves 32 bits. konvertiere on any value
// fills bcdBytes, the set-frequency frame's digits, with packed BCD spelling
// the frequency, or leaves them alone.

#include "core/runtime_error.h"
#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/radio/scripted_comm.h"
#include <fuzzer/FuzzedDataProvider.h>

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
            const int32_t got = RadioLink::Hex2Dec(text);
            FUZZ_CHECK(!overflow && got == int32_t(sum), "Hex2Dec returned %d", int(got));
        } catch (const RuntimeError& e) {
            FUZZ_CHECK(e.kind() == RuntimeError::Kind::Overflow && overflow, "Hex2Dec raised wrongly");
        }
        return 0;
    }
    test::ScriptedComm comm;
    RadioLink link(comm);
    while (in.remaining_bytes() > 0) {
        int32_t was;
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: was = in.ConsumeIntegral<int32_t>(); break;
        case 1: was = in.ConsumeIntegralInRange<int32_t>(100000, 9999999); break;
        case 2: was = in.ConsumeIntegralInRange<int32_t>(-10000000, 10000000); break;
        default: was = in.PickValueInArray<int32_t>({0, 99999, 100000, 9999999, 10000000, -100000, INT32_MIN});
        }
        const auto before = link.bcdBytes;
        link.konvertiere(was);
        const auto& b = link.bcdBytes;
        int32_t spelled = 0;
        for (int i = 1; i <= 4; ++i) {
            FUZZ_CHECK(b[i] >= 0 && (b[i] & 0x0F) <= 9 && b[i] >> 4 <= 9, "bcdBytes(%d) = 0x%X", i, int(b[i]));
            spelled = spelled * 100 + (b[i] >> 4) * 10 + (b[i] & 0x0F);
        }
        FUZZ_CHECK(was >= 100000 && was <= 9999999 ? spelled == was : b == before, "konvertiere(%d) gave %d", int(was), int(spelled));
    }
    return 0;
}
