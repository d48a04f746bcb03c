// The scan against a radio whose answers line up with the reads: what goes to
// the radio, in which order, what the window shows, and what is drawn.

#include "core/runtime_error.h"
#include "display/recordingsurface.h"
#include "radio/radiolink.h"
#include "support/scripted_radio.h"
#include "support/sweep_host.h"
#include "sweep/sweep.h"

#include <gtest/gtest.h>

using namespace qv7m;

namespace {

const QByteArray kFollowUp("\x00\x00\x00\x0F\x0E", 5);
const QByteArray kMeterReq("\x01\x00\x00\x00\xF7", 5);
const QByteArray kStatusReq("\x01\x00\x00\x02\x10", 5);

class Scan : public ::testing::Test {
protected:
    void SetUp() override {
        link.doEvents = [this] { host.doEvents(); };
        link.meterValue = 77;  // the probe's reading
    }
    // Runs the scan and stops it ("Setup") once `steps` full steps are done.
    void runSteps(long long steps) {
        host.onYield = [this, steps](int) {
            if (sweep.fullSteps >= steps) sweep.stopRequested = -1;
        };
        sweep.starten_Click();
    }
    // The area bars drawn (colour != background), as meter values.
    std::vector<int> bars() const {
        std::vector<int> out;
        for (const DrawCall& c : host.surfaces[host.style].calls())
            if (c.kind == DrawCall::Kind::FilledBox && c.color != 0) out.push_back(std::lround((c.y1 - c.y2) / 10.0));
        return out;
    }

    ScriptedRadio radio;
    RadioLink link{radio};
    TestHost host;
    Sweep sweep{link, host};
};

}  // namespace

TEST_F(Scan, StartReadsTheFrequencyThenSweepsTheWindowAroundIt) {
    radio.vfoa = 1425000;
    runSteps(101);
    // The start: command 3 and a status read on an open link, closed and
    // opened again; then the first sweep's status read.
    QStringList start{"open", "00 00 00 01 83", "01 00 00 02 10"};
    for (int i = 0; i < 16; ++i) start << "00 00 00 0F 0E";
    start << "close" << "open" << "01 00 00 02 10";
    EXPECT_EQ(radio.events.mid(0, start.size()), start);

    // The tuned frequencies, the labels and the drawing, end to end against
    // the simulator; here the frames of a step, the readout and the S-meter
    // bar at 10 twips a count of the newest reading.
    const QList<QByteArray> step{QByteArray("\x00\x45\x42\x01\x8A", 5), kMeterReq, kFollowUp, kFollowUp,
                                 kFollowUp,  kFollowUp, kFollowUp};
    EXPECT_EQ(radio.frames.mid(18 + 17, 7), step);
    EXPECT_EQ(host.captions[SweepHost::Label::info], QStringLiteral("14255000 Hz"));
    EXPECT_EQ(bars().size(), 101u);
    EXPECT_DOUBLE_EQ(host.smeter.back(), 10.0 * radio.meterAt(1425500));
    // The controls, in their order.
    using C = SweepHost::Control;
    const std::vector<std::pair<C, bool>> order{{C::style, false},  {C::starten, false}, {C::setup, true},
                                                {C::stopscan, true}, {C::comport, false}, {C::dis, false},
                                                {C::step, false}};
    EXPECT_EQ(host.enabled, order);
    EXPECT_EQ(sweep.stopRequested, -1);
    // Every pass yields once and sleeps 10 ms; each status decode yields four times more.
    EXPECT_EQ(radio.slept, 10 * (host.yields - 4 * radio.frames.count(kStatusReq)));
}

// Held for five passes at step 5, the meter is read at the last frequency and
// nothing is drawn. The radio falls silent at step 10: each step draws the
// last reading. "Setup" at step 30 stops the scan without another frame, and
// the step in progress draws nothing.
TEST_F(Scan, HoldSilenceAndSetup) {
    int heldPasses = 0;
    host.onYield = [&](int) {
        host.hold = sweep.fullSteps == 5 && heldPasses++ < 5;
        if (sweep.fullSteps == 10) radio.silent = true;
        if (sweep.fullSteps == 30) {
            sweep.stopRequested = -1;  // what "Setup" does, besides closing the link
            radio.setPortOpen(false);
        }
    };
    radio.meterAt = [](int32_t) { return 99; };
    sweep.starten_Click();
    QList<int32_t> tuned;
    for (int32_t f = 1424500; f < 1424800; f += 10) tuned << f;
    EXPECT_EQ(radio.tuned, tuned) << "no gap or repeat across the hold";
    EXPECT_EQ(radio.frames.count(kMeterReq), 30 + 5);
    EXPECT_EQ(host.smeter.size(), 35u);
    EXPECT_EQ(radio.events.last(), QStringLiteral("close")) << "nothing sent after Setup";
    EXPECT_EQ(bars(), std::vector<int>(30, 99));
}

TEST_F(Scan, FirstLineStepJoinsTheReadingTakenBeforeTheSweep) {
    host.style = 1;
    radio.meterAt = [](int32_t) { return 10; };
    runSteps(1);
    std::vector<DrawCall> lines;
    for (const DrawCall& c : host.surfaces[host.style].calls())
        if (c.kind == DrawCall::Kind::Line && c.color == RGB(0, 140, 0)) lines.push_back(c);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], DrawCall::line(0, 2550 - 770, 0, 2550 - 100, RGB(0, 140, 0)));
}

TEST_F(Scan, ASecondStartInsideTheFirstIsIgnored) {
    int nested = 0;
    host.onYield = [&](int) {
        if (nested++ == 0) sweep.starten_Click();  // a click arriving during the start's status read
        if (sweep.fullSteps >= 3) sweep.stopRequested = -1;
    };
    sweep.starten_Click();
    EXPECT_EQ(radio.frames.count(QByteArray("\x00\x00\x00\x01\x83", 5)), 1);
    EXPECT_FALSE(sweep.running());
}

TEST_F(Scan, WindowEndsRoundToEven) {
    host.span = 1001;  // ends at x.5: rounded to the even neighbour
    runSteps(101);
    ASSERT_FALSE(radio.tuned.isEmpty());
    EXPECT_EQ(radio.tuned.first(), 1424500);  // 1424499.5 -> 1424500
    EXPECT_EQ(radio.tuned.last(), 1425500);   // 1425500.5 -> 1425500
}

TEST_F(Scan, AWindowBeyondThe32BitRangeOverflowsAndAStepBelow10HzFails) {
    host.span = 5e9;
    try {
        sweep.starten_Click();
        FAIL() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow);
    }
    EXPECT_FALSE(sweep.running());
    host.span = 1000;
    host.step = QStringLiteral("5");  // no column width
    EXPECT_THROW(sweep.starten_Click(), RuntimeError);
}
