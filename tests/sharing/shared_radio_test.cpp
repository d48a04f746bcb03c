// SPDX-License-Identifier: GPL-3.0-or-later
// The radio as rigctld clients see it: VFO-A's frequency and mode, each from
// its own bytes of the status record the radio sends.
#include "sharing/shared_radio.h"
#include "support/virtual_radio.h"

#include <gtest/gtest.h>

namespace qv7m {

TEST(SharedRadio, FrequencyAndModeComeFromTheirOwnRecordBytes) {
    AlignedLink link{std::make_unique<test::VirtualRadio>()};
    test::VirtualRadio& line = static_cast<test::VirtualRadio&>(link.line());
    ScanWorker worker(link);  // not started: it works on this thread
    SharedRadio radio(worker);
    ASSERT_EQ(worker.probe(1).result, ProbeOutcome::Result::Answered);
    const char* const modes[] = {"LSB", "USB", "CW", "AM", "FM", "RTTY", "PKTLSB"};
    for (uint8_t m = 0; m < 7; ++m) {
        SCOPED_TRACE(modes[m]);
        // 14,252,470 Hz is a count of 0x015BF5F0; every other byte would say another mode.
        QByteArray record(16, char(m ^ 4));
        record.replace(1, 4, QByteArray::fromHex("015BF5F0"));
        record[7] = char(m);
        line.script.push_back(record);
        worker.radio().forgetStatus();  // as a retune does: the next question goes to the radio
        EXPECT_EQ(rigctl::execute(radio, "m").bytes, QByteArray(modes[m]) + "\n0\n");
        EXPECT_EQ(rigctl::execute(radio, "f").bytes, "14252470\n");
    }
}

}  // namespace qv7m
