// readStatus, and decodeFrequency alone, on whatever the reads bring. The
// frequency is bits 4 to 27 of the big-endian number in reads 5 to 8; with a
// read empty, or a frequency outside 100 kHz to 30 MHz, the centre stays. Every
// status read writes the same 85 bytes, and a handler run from a yield that
// ends the read leaves the centre alone.

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
    const std::function<void()> yield = [&] {
        if (--yieldsLeft == 0) throw EndedInYield{};
    };
    link.yieldToWindow = yield;
    while (in.remaining_bytes() > 0) {
        const int32_t before = link.centre();
        uint8_t f[4] = {0, 0, 0, 0};
        bool filled = true;
        const bool wholeRead = in.ConsumeBool();
        std::array<QByteArray, 4> bytes;
        comm.written.clear();
        comm.script.clear();
        for (int k = 1; k <= 16 && wholeRead; ++k) {  // one byte or nothing a read
            comm.script.push_back(in.ConsumeBool() ? QByteArray(1, char(in.ConsumeIntegral<uint8_t>())) : "");
            if (k >= 5 && k <= 8 && !comm.script.back().isEmpty()) f[k - 5] = uint8_t(comm.script.back()[0]);
            filled = filled && (k < 5 || k > 8 || !comm.script.back().isEmpty());
        }
        for (int k = 0; k < 4 && !wholeRead; ++k) {  // the decode alone: the first of several characters counts
            bytes[k] = QByteArray::fromStdString(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 3)));
            if (!bytes[k].isEmpty()) f[k] = uint8_t(bytes[k][0]);
            filled = filled && !bytes[k].isEmpty();
        }
        yieldsLeft = in.ConsumeIntegralInRange(0, 8);  // 1..4 ends the decode at that yield
        bool ended = false;
        int32_t got = before;
        try {
            got = wholeRead ? link.readStatus() : RadioLink::decodeFrequency(bytes, before, yield);
        } catch (const EndedInYield&) {
            ended = true;
        }
        FUZZ_CHECK(!wholeRead || comm.written == writes, "a status read wrote %d bytes", int(comm.written.size()));
        const int32_t decoded = f[0] % 16 << 20 | f[1] << 12 | f[2] << 4 | f[3] >> 4;
        const int32_t want = ended || !filled || decoded < 10000 || decoded > 3000000 ? before : decoded;
        FUZZ_CHECK(got == want && link.centre() == (wholeRead ? want : before), "centre %d from %02X %02X %02X %02X",
                   int(got), f[0], f[1], f[2], f[3]);
    }
    return 0;
}
