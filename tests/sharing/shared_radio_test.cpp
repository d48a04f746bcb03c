// The radio as rigctld clients see it: VFO-A's frequency and mode, each from
// its own bytes of the status record the radio sends.
#include "sharing/shared_radio.h"
#include "support/scripted_line.h"

#include <gtest/gtest.h>

namespace qv7m {

TEST(SharedRadio, FrequencyAndModeComeFromTheirOwnRecordBytes) {
    auto* line = new test::ScriptedLine;
    AlignedLink link{std::unique_ptr<Line>(line)};
    ScanWorker worker(link);  // not started: it works on this thread
    SharedRadio radio(worker);
    line->answers.push_back(QByteArray::fromHex("80808080F7"));
    ASSERT_EQ(worker.probe(1).result, ProbeOutcome::Result::Answered);
    const char* const modes[] = {"LSB", "USB", "CW", "AM", "FM", "RTTY", "PKTLSB"};
    for (uint8_t m = 0; m < 7; ++m) {
        SCOPED_TRACE(modes[m]);
        // 14,252,470 Hz is a count of 0x015BF5F0; every other byte would say another mode.
        QByteArray record(16, char(m ^ 4));
        record.replace(1, 4, QByteArray::fromHex("015BF5F0"));
        record[7] = char(m);
        line->answers.push_back(record);
        worker.radio().forgetStatus();  // as a retune does: the next question goes to the radio
        EXPECT_EQ(rigctl::execute(radio, "m").bytes, QByteArray(modes[m]) + "\n0\n");
        EXPECT_EQ(rigctl::execute(radio, "f").bytes, "14252470\n");
    }
}

}  // namespace qv7m
