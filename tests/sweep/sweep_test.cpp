// The scan against a radio whose answers line up with the reads: what goes to
// the radio, in which order, what the window shows and what is drawn.

#include "core/runtime_error.h"
#include "support/drawn.h"
#include "support/scripted_radio.h"
#include "support/sweep_host.h"

#include <gtest/gtest.h>

using namespace qv7m;

namespace {

const QByteArray kMeterReq("\x01\x00\x00\x00\xF7", 5);

class Scan : public ::testing::Test {
protected:
    void SetUp() override {
        link.doEvents = [this] { host.doEvents(); };
        link.meterValue = 77;  // the probe's reading
    }
    // Runs the scan and stops it, as "Setup" does, once `steps` full steps are done.
    void runSteps(long long steps) {
        host.onYield = [this, steps] {
            if (sweep.fullSteps >= steps) sweep.stopRequested = -1;
        };
        sweep.starten_Click();
    }

    ScriptedRadio radio;
    RadioLink link{radio};
    TestHost host;
    Sweep sweep{link, host};
};

}  // namespace

TEST_F(Scan, StartThenSweepTheWindowAroundTheRadiosFrequency) {
    host.style = 1;
    host.span = 1001;  // ends at x.5: rounded to the even neighbour
    runSteps(101);
    // Command 3 and a status read on an open link, closed and opened again;
    // the first sweep's status read; then a step: VFO-B, the meter request
    // and its follow-ups.
    QStringList expected{"open", "00 00 00 01 83", "01 00 00 02 10"};
    for (int i = 0; i < 16; ++i) expected << "00 00 00 0F 0E";
    expected << "close" << "open" << "01 00 00 02 10" << expected.mid(3, 16) << "00 45 42 01 8A" << "01 00 00 00 F7";
    for (int i = 0; i < 5; ++i) expected << "00 00 00 0F 0E";
    EXPECT_EQ(radio.events.mid(0, expected.size()), expected);
    EXPECT_EQ(radio.tuned.first(), 1424500);  // 1424499.5
    EXPECT_EQ(radio.tuned.last(), 1425500);
    EXPECT_EQ(host.info, QStringLiteral("14255000 Hz"));
    EXPECT_DOUBLE_EQ(host.smeter.back(), 10.0 * radio.meterAt(1425500));
    // The first line joins the reading taken before the sweep.
    const std::vector<DrawCall> lines = host.surfaces[1].calls(DrawCall::Kind::Line);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], DrawCall::line(0, 2550 - 770, 0, 2550 - 10 * radio.meterAt(1424500), RGB(0, 140, 0)));
    using C = SweepHost::Control;
    EXPECT_EQ(host.enabled, (std::vector<std::pair<C, bool>>{{C::style, false}, {C::starten, false}, {C::setup, true},
                                                             {C::stopscan, true}, {C::comport, false}, {C::dis, false},
                                                             {C::step, false}}));
    // Every pass yields once and sleeps 10 ms; each status read yields four times more.
    EXPECT_EQ(radio.slept, 10 * (host.yields - 4 * radio.events.count(QStringLiteral("01 00 00 02 10"))));
}

// Held for five passes at step 5, the meter is read at the last frequency and
// nothing is drawn. The radio falls silent at step 10: each step draws the
// last reading. "Setup" at step 30 stops the scan without another frame, and
// the step in progress draws nothing.
TEST_F(Scan, HoldSilenceAndSetup) {
    int heldPasses = 0;
    host.onYield = [&] {
        host.hold = sweep.fullSteps == 5 && heldPasses++ < 5;
        radio.silent = sweep.fullSteps >= 10;
        if (sweep.fullSteps == 30) {
            sweep.stopRequested = -1;
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
    std::vector<int> values;
    for (const drawn::Point& p : drawn::points(host.surfaces[0].calls(), 2550, 0)) values.push_back(p.value);
    EXPECT_EQ(values, std::vector<int>(30, 99));
}

TEST_F(Scan, ASecondStartInsideTheFirstIsIgnored) {
    int nested = 0;
    host.onYield = [&] {
        if (nested++ == 0) sweep.starten_Click();  // a click arriving during the start's status read
        if (sweep.fullSteps >= 3) sweep.stopRequested = -1;
    };
    sweep.starten_Click();
    EXPECT_EQ(radio.frames.count(QByteArray("\x00\x00\x00\x01\x83", 5)), 1);
    EXPECT_FALSE(sweep.running());
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
    host.step = QStringLiteral("5");
    EXPECT_THROW(sweep.starten_Click(), RuntimeError);
}
