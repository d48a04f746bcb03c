// ReadStatus and DecodeFrequency on whatever the reads bring. The frequency is
// bits 4 to 27 of the big-endian number in reads 5 to 8; with a read empty, or
// a frequency outside 100 kHz to 30 MHz, the centre stays. Every status read
// writes the same 85 bytes, and the decode's working text is empty afterwards,
// even when a handler run from a yield ends it.

#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/radio/scripted_comm.h"
#include <fuzzer/FuzzedDataProvider.h>

using namespace qv7m;

struct EndedInYield {};  // "Quit" pressed during a yield unwinds the decode

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const QByteArray writes = RadioLink::statusFrame() + RadioLink::followUpFrame().repeated(16);
    test::ScriptedComm comm;
    RadioLink link(comm);
    comm.setPortOpen(true);
    int yieldsLeft = 0;
    link.doEvents = [&] {
        if (--yieldsLeft == 0) throw EndedInYield{};
    };
    while (in.remaining_bytes() > 0) {
        const int32_t before = link.centerFreq;
        uint8_t f[4] = {0, 0, 0, 0};
        bool filled = true;
        const bool wholeRead = in.ConsumeBool();
        comm.written.clear();
        comm.script.clear();
        for (int k = 1; k <= 16 && wholeRead; ++k) {  // one byte or nothing a read
            comm.script.push_back(in.ConsumeBool() ? QByteArray(1, char(in.ConsumeIntegral<uint8_t>())) : "");
            if (k >= 5 && k <= 8 && !comm.script.back().isEmpty()) f[k - 5] = uint8_t(comm.script.back()[0]);
            filled = filled && (k < 5 || k > 8 || !comm.script.back().isEmpty());
        }
        for (int k = 10; k <= 13 && !wholeRead; ++k) {  // the decode alone: the first of several characters counts
            link.rxBuffer[k] = QByteArray::fromStdString(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 3)));
            if (!link.rxBuffer[k].isEmpty()) f[k - 10] = uint8_t(link.rxBuffer[k][0]);
            filled = filled && !link.rxBuffer[k].isEmpty();
        }
        yieldsLeft = in.ConsumeIntegralInRange(0, 8);  // 1..4 ends the decode at that yield
        bool ended = false;
        try {
            wholeRead ? link.ReadStatus() : link.DecodeFrequency();
        } catch (const EndedInYield&) {
            ended = true;
        }
        FUZZ_CHECK(link.freqHex.isEmpty(), "freqHex holds \"%s\" after a decode", qPrintable(link.freqHex));
        FUZZ_CHECK(!wholeRead || comm.written == writes, "a status read wrote %d bytes", int(comm.written.size()));
        const int32_t decoded = f[0] % 16 << 20 | f[1] << 12 | f[2] << 4 | f[3] >> 4;
        const int32_t want = ended || !filled || decoded < 10000 || decoded > 3000000 ? before : decoded;
        FUZZ_CHECK(link.centerFreq == want, "centerFreq %d from %02X %02X %02X %02X", int(link.centerFreq), f[0],
                   f[1], f[2], f[3]);
    }
    return 0;
}
