// SPDX-License-Identifier: GPL-3.0-or-later
// The radio as rigctld clients see it: VFO-A's frequency and mode, each from
// its own bytes of the status record the radio sends.
#include "sharing/shared_radio.h"
#include "support/virtual_radio.h"

#include <QCoreApplication>
#include <functional>

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

// A fast scan, its steps run in this thread's event loop, and the frames it sends after the probe.
struct FastScan : ::testing::Test {
    void SetUp() override { ASSERT_EQ(worker.probe(1).result, ProbeOutcome::Result::Answered); }
    // Scans 3 kHz around 14.250 MHz at 1 kHz steps (four steps a sweep) until the scan ends; `drawn` is
    // told of each point with how many came before it.
    void scan(const std::function<void(size_t)>& drawn) {
        probed = line.sent.size();
        size_t points = 0;
        QObject::connect(&worker, &ScanWorker::passShown, [&](int, const PassShown& pass) {
            EXPECT_EQ(pass.reading, line.engine.meter().reading(int64_t(pass.point.units) * 10));
            units.push_back(pass.point.units);
            drawn(points++);
        });
        bool ended = false;
        QObject::connect(&worker, &ScanWorker::scanEnded, [&] { ended = true; });
        worker.setFast(true);
        worker.startScan(1, ScanSettings{1, QStringLiteral("1000"), 300, 8000});
        while (!ended) QCoreApplication::processEvents();
    }
    void stopBetweenSteps() {
        worker.post([this] {
            worker.requestStop();
            worker.setup();
        });
    }
    std::vector<std::string> sent() const {
        std::vector<std::string> frames;
        for (size_t i = probed; i < line.sent.size(); ++i) {
            const QByteArray& f = line.sent[i];
            frames.push_back((f == "open" || f == "close" ? f : f.toHex(' ')).toStdString());
        }
        return frames;
    }

    AlignedLink link{std::make_unique<test::VirtualRadio>()};
    test::VirtualRadio& line = static_cast<test::VirtualRadio&>(link.line());
    ScanWorker worker{link};  // not started
    size_t probed = 0;
    std::vector<int32_t> units;
    const std::string pacing0 = "00 00 00 00 0e";
    const std::string followUp = "00 00 00 0f 0e";
    const std::string status = "01 00 00 02 10";
    const std::string meter = "01 00 00 00 f7";
    const std::vector<std::string> steps{"50 48 42 01 8a", meter, "50 49 42 01 8a", meter,
                                         "50 50 42 01 8a", meter, "50 51 42 01 8a", meter};
};

// Two frames a step, the next step's sent while the answer before it comes in; a client's reads between
// two steps once the step ahead is in; the pacing put back at the end.
TEST_F(FastScan, TwoFramesAStepAndThePacingPutBackAtTheEnd) {
    SharedRadio radio(worker);
    QByteArray replies;
    scan([&](size_t before) {
        if (before != 5) return;
        // The second sweep's second step is drawn and its third sent ahead: a client asks.
        worker.post([&] {
            worker.radio().forgetStatus();
            replies += rigctl::execute(radio, "f").bytes;
            replies += rigctl::execute(radio, "l STRENGTH").bytes;
        });
        stopBetweenSteps();
    });
    EXPECT_EQ(units, (std::vector<int32_t>{1424850, 1424950, 1425050, 1425150, 1424850, 1424950, 1425050}));
    EXPECT_TRUE(replies.startsWith("14250000\n")) << replies.constData();
    std::vector<std::string> want{"open", "00 00 00 01 83", pacing0, status, pacing0, status};
    want.insert(want.end(), steps.begin(), steps.end());
    want.insert(want.end(), {pacing0, status});
    want.insert(want.end(), steps.begin(), steps.begin() + 6);
    want.insert(want.end(), {status, "00 00 00 00 f7", followUp, "00 00 00 00 85", "close"});
    EXPECT_EQ(sent(), want);
    // With no scan running, a client's read opens the port for itself and puts the pacing back before it closes.
    probed = line.sent.size();
    worker.radio().forgetStatus();
    EXPECT_EQ(rigctl::execute(radio, "f").bytes, "14250000\n");
    EXPECT_EQ(sent(), (std::vector<std::string>{"open", pacing0, status, followUp, "close"}));
}

// Turned off during a sweep, the fast sweep ends at the next one, which is the standard sweep.
TEST_F(FastScan, TurnedOffItEndsAtTheNextSweep) {
    scan([&](size_t before) {
        if (before == 1) worker.post([this] { worker.setFast(false); });
        if (before == 4) stopBetweenSteps();
    });
    std::vector<std::string> want{"open", "00 00 00 01 83", pacing0, status, pacing0, status};
    want.insert(want.end(), steps.begin(), steps.end());
    want.insert(want.end(), {followUp, "close", "open", status});
    want.insert(want.end(), 16, followUp);
    want.insert(want.end(), {"50 48 42 01 8a", meter});
    want.insert(want.end(), 5, followUp);
    want.insert(want.end(), {"00 00 00 00 85", "close"});
    EXPECT_EQ(sent(), want);
}

}  // namespace qv7m
