// Hex2Dec on any text, and konvertiere on any 32-bit value.
//
// Hex2Dec must return or raise an overflow, never anything else, and where it
// returns it must agree with a plain 128-bit evaluation of the same digits.
// konvertiere must either leave bcdBytes alone or fill all four with valid
// packed BCD that spells the frequency, so that a set-frequency frame never
// carries anything but decimal digits.

#include "core/runtime_error.h"
#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/radio/scripted_comm.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QString>
#include <cstdint>

using namespace qv7m;

namespace {

int digitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;  // lower case included
}

// Walks the digits from the right as the routine does, in 128 bits, and says
// where the running sum first leaves the 32-bit range.
struct Reference {
    bool overflow = false;
    int32_t value = 0;
};

Reference reference(const QString& text) {
    using Wide = __int128;
    Wide sum = 0;
    const int length = int(text.size());
    for (int i = length; i >= 1; --i) {
        const int d = digitValue(text.at(i - 1).unicode());
        if (d == 0) continue;
        const int power = length - i;
        // 15 * 16^30 still fits 128 bits; any non-zero digit further left
        // is far outside 32 bits whatever came before.
        if (power > 30) return {true, 0};
        sum += Wide(d) * (Wide(1) << (4 * power));
        if (sum < Wide(INT32_MIN) || sum > Wide(INT32_MAX)) return {true, 0};
    }
    return {false, int32_t(sum)};
}

void checkHex2Dec(const QString& text) {
    const Reference want = reference(text);
    try {
        const int32_t got = RadioLink::Hex2Dec(text);
        FUZZ_CHECK(!want.overflow, "Hex2Dec returned %d where the sum overflows", int(got));
        FUZZ_CHECK(got == want.value, "Hex2Dec returned %d, expected %d", int(got), int(want.value));
    } catch (const RuntimeError& e) {
        FUZZ_CHECK(e.kind() == RuntimeError::Kind::Overflow, "Hex2Dec raised an error other than overflow");
        FUZZ_CHECK(want.overflow, "Hex2Dec raised an overflow for a text that fits 32 bits");
    }
}

bool validBcd(int16_t b) { return b >= 0 && b <= 0x99 && (b & 0x0F) <= 9 && (b >> 4) <= 9; }

void checkKonvertiere(RadioLink& link, test::ScriptedComm& comm, int32_t was) {
    const auto before = link.bcdBytes;
    link.konvertiere(was);
    const auto& after = link.bcdBytes;
    if (was >= 100000 && was <= 9999999) {
        int32_t spelled = 0;
        for (int i = 1; i <= 4; ++i) {
            FUZZ_CHECK(validBcd(after[i]), "konvertiere(%d) left bcdBytes(%d) = 0x%X", int(was), i, int(after[i]));
            spelled = spelled * 100 + (after[i] >> 4) * 10 + (after[i] & 0x0F);
        }
        FUZZ_CHECK(spelled == was, "konvertiere(%d) spelled %d", int(was), int(spelled));
    } else {
        FUZZ_CHECK(after == before, "konvertiere(%d) changed bcdBytes", int(was));
    }
    FUZZ_CHECK(after[0] == before[0], "konvertiere touched the unused element 0");

    // The frame that goes out next: least significant pair first, then 8A.
    comm.written.clear();
    comm.log.clear();
    comm.outputs.clear();
    link.Befehl(int16_t(1));
    FUZZ_CHECK(comm.written.size() == 5, "Befehl 1 wrote %d bytes", int(comm.written.size()));
    for (int i = 0; i < 4; ++i) {
        const uint8_t b = uint8_t(comm.written.at(i));
        FUZZ_CHECK(validBcd(b), "Befehl 1 sent 0x%02X, not packed BCD", unsigned(b));
        FUZZ_CHECK(b == after[4 - i], "Befehl 1 byte %d is not bcdBytes(%d)", i + 1, 4 - i);
    }
    FUZZ_CHECK(uint8_t(comm.written.at(4)) == 0x8A, "Befehl 1 did not end in 8A");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegralInRange(0, 2);
    if (mode == 0) {
        // The text as UTF-8, which reaches every character the lists and the
        // decode could ever hand over, and others besides.
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        checkHex2Dec(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
    } else if (mode == 1) {
        // Mostly digits, so that long valid numbers and the 8-digit edge are
        // reached often; a few other characters mixed in.
        static const char alphabet[] = "0123456789ABCDEF0123456789ABCDEFabcdefG-+ \x00";
        QString text;
        while (in.remaining_bytes() > 0 && text.size() < 64)
            text += QLatin1Char(alphabet[in.ConsumeIntegralInRange<size_t>(0, sizeof alphabet - 2)]);
        checkHex2Dec(text);
    } else {
        test::ScriptedComm comm;
        RadioLink link(comm);
        comm.setPortOpen(true);
        while (in.remaining_bytes() > 0) {
            int32_t was;
            // Mostly the encodable range and its edges, sometimes any value.
            switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: was = in.ConsumeIntegral<int32_t>(); break;
            case 1: was = in.ConsumeIntegralInRange<int32_t>(100000, 9999999); break;
            case 2: was = in.ConsumeIntegralInRange<int32_t>(-10000000, 10000000); break;
            default: was = in.PickValueInArray<int32_t>({0, 99999, 100000, 999999, 1000000, 9999999, 10000000,
                                                        -99999, -100000, -999999, -1000000, INT32_MIN, INT32_MAX});
            }
            checkKonvertiere(link, comm, was);
        }
    }
    return 0;
}
