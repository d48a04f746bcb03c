// ReadStatus and DecodeFrequency on whatever the reads bring.
//
// A scripted serial control serves the input one byte or nothing per read.
// Whatever arrives, the decoded frequency is bits 4 to 27 of the big-endian
// number formed by the 5th to 8th reads (an empty read counting as 0), every
// status read writes the same 85 bytes, and the working text of the decode is
// empty again afterwards, even when a handler run from inside the decode's
// yields ends it early.

#include "core/runtime_error.h"
#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/radio/scripted_comm.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

using namespace qv7m;

namespace {

int32_t expectedFrequency(const uint8_t b[4]) {
    return int32_t((uint32_t(b[0] & 0x0F) << 20) | (uint32_t(b[1]) << 12) | (uint32_t(b[2]) << 4) | (b[3] >> 4));
}

QByteArray expectedWrites() {
    QByteArray w = RadioLink::statusFrame();
    for (int i = 0; i < 16; ++i) w += RadioLink::followUpFrame();
    return w;
}

// A handler run from a yield that ends the program ("Quit") unwinds the decode.
struct EndedInYield {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const QByteArray writes = expectedWrites();

    test::ScriptedComm comm;
    RadioLink link(comm);
    comm.setPortOpen(true);
    int yields = 0;
    int endAtYield = -1;
    link.doEvents = [&] {
        if (++yields == endAtYield) throw EndedInYield{};
    };

    while (in.remaining_bytes() > 0) {
        const int32_t before = link.centerFreq;
        comm.log.clear();
        comm.outputs.clear();
        comm.written.clear();
        comm.script.clear();

        uint8_t freq[4] = {0, 0, 0, 0};
        if (in.ConsumeBool()) {
            // A whole status read: sixteen reads, each one byte or nothing.
            for (int read = 1; read <= 16; ++read) {
                QByteArray r;
                if (in.ConsumeBool()) r = QByteArray(1, char(in.ConsumeIntegral<uint8_t>()));
                if (read >= 5 && read <= 8 && !r.isEmpty()) freq[read - 5] = uint8_t(r.at(0));
                comm.script.push_back(r);
            }
        } else {
            // The decode alone, on whatever the buffer holds: a control
            // could hand over more than one character, and only the first counts.
            for (int k = 10; k <= 13; ++k) {
                const std::string s = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 3));
                link.rxBuffer[k] = QByteArray(s.data(), qsizetype(s.size()));
                if (!s.empty()) freq[k - 10] = uint8_t(s[0]);
            }
        }
        const bool wholeRead = !comm.script.empty();
        yields = 0;
        endAtYield = in.ConsumeIntegralInRange(0, 8);  // 1..4 ends the decode at that yield

        bool ended = false;
        try {
            if (wholeRead)
                link.ReadStatus();
            else
                link.DecodeFrequency();
        } catch (const EndedInYield&) {
            ended = true;
        } catch (const RuntimeError& e) {
            FUZZ_CHECK(false, "the decode raised: %s", qPrintable(e.message()));
        }

        FUZZ_CHECK(link.freqHex.isEmpty(), "freqHex holds \"%s\" after a decode", qPrintable(link.freqHex));
        if (wholeRead) {
            FUZZ_CHECK(comm.written == writes, "a status read wrote %d bytes, not the request and 16 follow-ups",
                       int(comm.written.size()));
            FUZZ_CHECK(comm.outputs.size() == 17, "a status read made %d writes", int(comm.outputs.size()));
            for (int k = 6; k <= 21; ++k)
                FUZZ_CHECK(link.rxBuffer[k].size() <= 1, "rxBuffer(%d) holds %d bytes", k, int(link.rxBuffer[k].size()));
        }
        if (ended) {
            FUZZ_CHECK(link.centerFreq == before, "a decode ended early still changed centerFreq");
            continue;
        }
        FUZZ_CHECK(yields == 4, "the decode yielded %d times, not once before each of its four bytes", yields);
        const int32_t want = expectedFrequency(freq);
        FUZZ_CHECK(link.centerFreq == want, "centerFreq %d from %02X %02X %02X %02X, expected %d",
                   int(link.centerFreq), freq[0], freq[1], freq[2], freq[3], int(want));
        FUZZ_CHECK(link.centerFreq >= 0 && link.centerFreq <= 16777215, "centerFreq %d out of range",
                   int(link.centerFreq));
    }
    return 0;
}
