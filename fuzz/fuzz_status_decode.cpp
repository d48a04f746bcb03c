// readStatus, and decodeFrequency alone, on whatever the reads bring. The frequency is bits 4
// to 27 of the big-endian number in reads 5 to 8; with a read empty, or a frequency outside
// 100 kHz to 30 MHz, the centre stays. Every status read writes the same 85 bytes, and a
// handler run from a yield that ends the read leaves the centre alone.

#include <fuzzer/FuzzedDataProvider.h>
#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/radio/scripted_comm.h"

using namespace qv7m;

struct EndedInYield {};  // "Quit" pressed during a yield unwinds the decode

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const QByteArray writes = RadioLink::statusFrame() + RadioLink::followUpFrame().repeated(16);
    test::ScriptedComm comm;
    RadioLink link(comm);
    comm.setPortOpen(true);
    int yieldsLeft = 0;
    const std::function<void()> yield = [&] { yieldsLeft-- == 1 ? throw EndedInYield{} : void(); };
    link.yieldToWindow = yield;
    while (in.remaining_bytes() > 0) {
        const int32_t before = link.centre();
        uint8_t f[4] = {0, 0, 0, 0};
        bool filled = true;
        const bool wholeRead = in.ConsumeBool();
        std::array<QByteArray, 4> bytes;
        comm.written.clear(), comm.script.clear();
        for (int k = 0; k < (wholeRead ? 16 : 4);
             ++k) {  // a read: one byte or nothing; the decode alone: the first counts
            const QByteArray b =
                wholeRead ? (in.ConsumeBool() ? QByteArray(1, char(in.ConsumeIntegral<uint8_t>())) : QByteArray())
                          : QByteArray::fromStdString(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 3)));
            wholeRead ? comm.script.push_back(b) : void(bytes[k] = b);
            if (const int at = wholeRead ? k - 4 : k; at >= 0 && at < 4)
                f[at] = b.isEmpty() ? 0 : uint8_t(b[0]), filled &= !b.isEmpty();
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
