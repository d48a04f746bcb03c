// SPDX-License-Identifier: GPL-3.0-or-later
// The radio as rigctld clients see it: VFO-A's frequency and mode, each from
// its own bytes of the status record the radio sends.
#include "sharing/shared_radio.h"
#include "support/virtual_radio.h"

#include <QCoreApplication>

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

namespace qv7m {

// A fast scan on the wire, frame by frame: two frames a step, the next step's sent while the answer before
// it comes in; a client's reads between two steps once the step ahead is in; the pacing put back at the end.
TEST(SharedRadio, AFastScanSendsTwoFramesAStepAndPutsThePacingBack) {
    AlignedLink link{std::make_unique<test::VirtualRadio>()};
    test::VirtualRadio& line = static_cast<test::VirtualRadio&>(link.line());
    ScanWorker worker(link);  // not started: its steps run in this thread's event loop
    SharedRadio radio(worker);
    ASSERT_EQ(worker.probe(1).result, ProbeOutcome::Result::Answered);
    const size_t probed = line.sent.size();
    std::vector<int32_t> drawn;
    QByteArray replies;
    QObject::connect(&worker, &ScanWorker::passShown, [&](int, const PassShown& pass) {
        drawn.push_back(pass.point.units);
        EXPECT_EQ(pass.reading, line.engine.meter().reading(int64_t(pass.point.units) * 10));
        if (drawn.size() != 6) return;
        // The second sweep's second step is drawn and its third sent ahead: a client asks.
        worker.post([&] {
            worker.radio().forgetStatus();
            replies += rigctl::execute(radio, "f").bytes;
            replies += rigctl::execute(radio, "l STRENGTH").bytes;
            worker.requestStop();
            worker.setup();
        });
    });
    bool ended = false;
    QObject::connect(&worker, &ScanWorker::scanEnded, [&] { ended = true; });
    worker.setFast(true);
    // 3 kHz around 14.250 MHz at 1 kHz steps: four steps a sweep.
    worker.startScan(1, ScanSettings{1, QStringLiteral("1000"), 300, 8000});
    while (!ended) QCoreApplication::processEvents();

    EXPECT_EQ(drawn, (std::vector<int32_t>{1424850, 1424950, 1425050, 1425150, 1424850, 1424950, 1425050}));
    EXPECT_TRUE(replies.startsWith("14250000\n")) << replies.constData();
    std::vector<std::string> sent;
    for (size_t i = probed; i < line.sent.size(); ++i) {
        const QByteArray& f = line.sent[i];
        sent.push_back((f == "open" || f == "close" ? f : f.toHex(' ')).toStdString());
    }
    const std::string pacing0 = "00 00 00 00 0e";
    const std::string status = "01 00 00 02 10";
    const std::string meter = "01 00 00 00 f7";
    const std::vector<std::string> steps{"50 48 42 01 8a", meter, "50 49 42 01 8a", meter,
                                        "50 50 42 01 8a", meter, "50 51 42 01 8a", meter};
    std::vector<std::string> want{"open", "00 00 00 01 83", pacing0, status, pacing0, status};
    want.insert(want.end(), steps.begin(), steps.end());
    want.insert(want.end(), {pacing0, status});
    want.insert(want.end(), steps.begin(), steps.begin() + 6);
    want.insert(want.end(), {status, "00 00 00 00 f7", "00 00 00 0f 0e", "00 00 00 00 85", "close"});
    EXPECT_EQ(sent, want);
}

}  // namespace qv7m
