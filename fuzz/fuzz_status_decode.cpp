// SPDX-License-Identifier: GPL-3.0-or-later
// readStatus on whatever the radio answers: a record of any length and content. The frequency is
// bits 4 to 27 of the big-endian number in record bytes 2 to 5, a count of 0.625 Hz; with any of them
// missing, a count outside 100 kHz to 30 MHz, or bytes past the record's 16 (which nobody asked for),
// the centre stays. Each read comes a sweep after the one before, so a short answer is over by then.
// Every status read writes the same 85 bytes: the request and sixteen follow-ups.

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/support/scripted_line.h"

using namespace qv7m;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    QByteArray writes = QByteArray::fromHex("0100000210");
    for (int k = 0; k < 16; ++k) writes += QByteArray::fromHex("0000000F0E");
    auto* line = new test::ScriptedLine;
    AlignedLink aligned{std::unique_ptr<Line>(line)};
    RadioLink link(aligned);
    link.open(1);
    for (int n = 0; n < 20 && in.remaining_bytes() > 0; ++n) {
        const int32_t before = link.centre();
        const QByteArray record = QByteArray::fromStdString(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 18)));
        line->answers.push_back(record);
        line->written.clear();
        line->clock += 10000 * kMillisecond;
        const int32_t got = link.readStatus();
        FUZZ_CHECK(line->written == writes, "a status read wrote %d bytes", int(line->written.size()));
        uint8_t f[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4 && k + 1 < record.size(); ++k) f[k] = uint8_t(record[k + 1]);
        const int32_t decoded = f[0] % 16 << 20 | f[1] << 12 | f[2] << 4 | f[3] >> 4;
        const double hz = (double(f[0]) * 16777216 + f[1] * 65536 + f[2] * 256 + f[3]) * 0.625;
        const bool whole = record.size() >= 5 && record.size() <= 16;
        const bool tunable = hz >= 100000 && hz < 30000001;
        const int32_t want = whole && tunable ? decoded : before;
        FUZZ_CHECK(got == want, "centre %d from %d bytes %02X %02X %02X %02X", int(got), int(record.size()), f[0], f[1],
                   f[2], f[3]);
        FUZZ_CHECK(link.centre() == want, "the centre kept %d, not %d", int(link.centre()), int(want));
    }
    return 0;
}
