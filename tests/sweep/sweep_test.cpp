// The scan against a radio whose answers line up with the reads: what goes to
// the radio, in which order, what the window shows, and what is drawn.

#include "core/runtime_error.h"
#include "display/recordingsurface.h"
#include "radio/radiolink.h"
#include "scripted_radio.h"
#include "sweep/sweep.h"

#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace qv7m;

namespace {

const QByteArray kFollowUp("\x00\x00\x00\x0F\x0E", 5);
const QByteArray kMeterReq("\x01\x00\x00\x00\xF7", 5);
const QByteArray kStatusReq("\x01\x00\x00\x02\x10", 5);

class TestHost : public SweepHost {
public:
    QString stepText() const override { return step; }
    int16_t styleIndex() const override { return style; }
    int16_t holdValue() const override { return hold; }
    double spanUnits() const override { return span; }
    void setEnabled(Control c, bool e) override { enabled.emplace_back(c, e); }
    void setCaption(Label l, const QString& t) override { captions[l] = t; }
    void setSmeterWidth(double w) override { smeter.push_back(w); }
    DrawingSurface& picture1() override { return surface; }
    void doEvents() override {
        ++yields;
        if (onYield) onYield(yields);
    }

    QString step = QStringLiteral("100");
    int16_t style = 0;
    int16_t hold = 0;
    double span = 1000;
    std::vector<std::pair<Control, bool>> enabled;
    std::map<Label, QString> captions;
    std::vector<double> smeter;
    RecordingSurface surface{8000, 2550};
    int yields = 0;
    std::function<void(int)> onYield;
};

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
    // The frequencies of the 8A frames in order.
    QList<int32_t> tuned() const { return radio.tuned; }
    // The area bars drawn (colour != background), as meter values.
    std::vector<std::pair<float, int>> bars() const {
        std::vector<std::pair<float, int>> out;
        for (const DrawCall& c : host.surface.calls())
            if (c.kind == DrawCall::Kind::FilledBox && c.color != 0)
                out.emplace_back((c.x1 + c.x2) / 2, static_cast<int>(std::lround((c.y1 - c.y2) / 10.0)));
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
    // The start: open, command 3, status read, close; then the first sweep.
    ASSERT_GE(radio.events.size(), 20);
    EXPECT_EQ(radio.events[0], QStringLiteral("open"));
    EXPECT_EQ(radio.frames[0], QByteArray("\x00\x00\x00\x01\x83", 5));
    EXPECT_EQ(radio.frames[1], kStatusReq);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(radio.frames[2 + i], kFollowUp);
    EXPECT_EQ(radio.events[19], QStringLiteral("close"));
    EXPECT_EQ(radio.events[20], QStringLiteral("open"));
    EXPECT_EQ(radio.frames[18], kStatusReq);

    // 101 steps from 1424500 to 1425500, every 10.
    QList<int32_t> expected;
    for (int32_t f = 1424500; f <= 1425500; f += 10) expected << f;
    EXPECT_EQ(tuned(), expected);
    // Each full step: set VFO-B, the meter request, five follow-ups.
    const int firstStep = 18 + 17;
    EXPECT_EQ(radio.frames[firstStep], QByteArray("\x00\x45\x42\x01\x8A", 5));
    EXPECT_EQ(radio.frames[firstStep + 1], kMeterReq);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(radio.frames[firstStep + 2 + i], kFollowUp);

    using L = SweepHost::Label;
    EXPECT_EQ(host.captions[L::links], QStringLiteral("14245000 Hz"));
    EXPECT_EQ(host.captions[L::mitte], QStringLiteral("14250000 Hz"));
    EXPECT_EQ(host.captions[L::rechts], QStringLiteral("14255000 Hz"));
    EXPECT_EQ(host.captions[L::info], QStringLiteral("14255000 Hz"));
    EXPECT_DOUBLE_EQ(sweep.halfColumn, 40);  // a column is a hundredth of the plot
    EXPECT_EQ(bars().front().second, radio.meterAt(1424500));
    for (const DrawCall& c : host.surface.calls())
        if (c.kind == DrawCall::Kind::FilledBox && c.color != 0) EXPECT_EQ(c.color, RGB(0, 140, 0));

    // The controls, in their order.
    using C = SweepHost::Control;
    const std::vector<std::pair<C, bool>> order{{C::style, false},  {C::starten, false}, {C::setup, true},
                                                {C::stopscan, true}, {C::comport, false}, {C::dis, false},
                                                {C::step, false}};
    EXPECT_EQ(host.enabled, order);
    EXPECT_EQ(sweep.stopRequested, -1);
    // Every pass yields once and sleeps 10 ms; each status decode yields four times more.
    int statusReads = 0;
    for (const QByteArray& f : radio.frames) statusReads += (f == kStatusReq);
    EXPECT_EQ(radio.slept, 10 * (host.yields - 4 * statusReads));
}

TEST_F(Scan, EveryStepDrawsTheReadingOfItsFrequencyAndTheBarFollows) {
    runSteps(101);
    const auto drawn = bars();
    ASSERT_EQ(drawn.size(), 101u);
    for (size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_FLOAT_EQ(drawn[i].first, 80.0f * i);
        EXPECT_EQ(drawn[i].second, radio.meterAt(radio.tuned[static_cast<int>(i)])) << i;
    }
    // The S-meter bar is 10 twips a count of the newest reading.
    EXPECT_DOUBLE_EQ(host.smeter.back(), 10.0 * radio.meterAt(1425500));
}

TEST_F(Scan, SweepsFollowTheRadioAndAlternateTheShade) {
    host.onYield = [this](int) {
        // The operator retunes during the first sweep; the second one follows.
        if (sweep.fullSteps == 50) radio.vfoa = 703500;
        if (sweep.fullSteps == 81 + 81) sweep.stopRequested = -1;
    };
    host.step = QStringLiteral("1000");
    host.span = 8000;
    std::vector<int16_t> shades;
    sweep.starten_Click();
    ASSERT_EQ(tuned().size(), 81 + 81);
    EXPECT_EQ(tuned()[0], 1421000);
    EXPECT_EQ(tuned()[80], 1429000);
    EXPECT_EQ(tuned()[81], 699500) << "the second sweep re-centres";
    EXPECT_EQ(tuned()[161], 707500);
    EXPECT_EQ(host.captions[SweepHost::Label::mitte], QStringLiteral("7035000 Hz"));
    // Trace colours: first sweep 140, second 220.
    int first140 = 0, second220 = 0;
    int i = 0;
    for (const DrawCall& c : host.surface.calls())
        if (c.kind == DrawCall::Kind::FilledBox && c.color != 0) {
            (i < 81 ? first140 : second220) += (c.color == RGB(0, i < 81 ? 140 : 220, 0));
            ++i;
        }
    EXPECT_EQ(first140, 81);
    EXPECT_EQ(second220, 81);
}

TEST_F(Scan, HoldKeepsReadingWithoutGapOrRepeat) {
    int heldReads = 0;
    host.onYield = [&](int) {
        if (sweep.fullSteps == 30 && heldReads < 5) {
            host.hold = 1;
            ++heldReads;
        } else {
            host.hold = 0;
        }
        if (sweep.fullSteps >= 101) sweep.stopRequested = -1;
    };
    sweep.starten_Click();
    QList<int32_t> expected;
    for (int32_t f = 1424500; f <= 1425500; f += 10) expected << f;
    EXPECT_EQ(tuned(), expected);
    // Five held passes read the meter at the last frequency, drawing nothing.
    int meterRequests = 0;
    for (const QByteArray& f : radio.frames) meterRequests += (f == kMeterReq);
    EXPECT_EQ(meterRequests, 101 + 5);
    EXPECT_EQ(bars().size(), 101u);
    EXPECT_EQ(host.smeter.size(), 106u);
}

TEST_F(Scan, SetupDuringASweepStopsItWithoutAnotherFrame) {
    host.onYield = [this](int) {
        if (sweep.fullSteps == 40) {
            sweep.stopRequested = -1;  // what "Setup" does, besides closing the link
            radio.setPortOpen(false);
        }
    };
    sweep.starten_Click();
    EXPECT_EQ(tuned().size(), 40);
    EXPECT_EQ(radio.events.last(), QStringLiteral("close")) << "nothing sent after Setup";
    EXPECT_EQ(bars().size(), 40u) << "the step in progress draws nothing";
}

TEST_F(Scan, ASilentRadioKeepsTheLastReading) {
    host.onYield = [this](int) {
        if (sweep.fullSteps == 10) radio.silent = true;
        if (sweep.fullSteps >= 30) sweep.stopRequested = -1;
    };
    radio.meterAt = [](int32_t) { return 99; };
    sweep.starten_Click();
    const auto drawn = bars();
    ASSERT_EQ(drawn.size(), 30u);
    for (const auto& d : drawn) EXPECT_EQ(d.second, 99);
}

TEST_F(Scan, FirstLineStepJoinsTheReadingTakenBeforeTheSweep) {
    host.style = 1;
    radio.meterAt = [](int32_t) { return 10; };
    runSteps(1);
    std::vector<DrawCall> lines;
    for (const DrawCall& c : host.surface.calls())
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
    int commands3 = 0;
    for (const QByteArray& f : radio.frames) commands3 += (f == QByteArray("\x00\x00\x00\x01\x83", 5));
    EXPECT_EQ(commands3, 1);
    EXPECT_FALSE(sweep.running());
}

TEST_F(Scan, WindowEndsRoundToEvenAndOverflowIsRaised) {
    host.span = 1001;  // ends at x.5: rounded to the even neighbour
    runSteps(101);
    ASSERT_FALSE(tuned().isEmpty());
    EXPECT_EQ(tuned().first(), 1424500);  // 1424499.5 -> 1424500
    EXPECT_EQ(tuned().last(), 1425500);   // 1425500.5 -> 1425500

    ScriptedRadio r2;
    RadioLink l2{r2};
    TestHost h2;
    h2.span = 5e9;  // a window beyond the 32-bit range
    Sweep s2{l2, h2};
    try {
        s2.starten_Click();
        FAIL() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow);
    }
    EXPECT_FALSE(s2.running());

    TestHost h3;
    h3.step = QStringLiteral("5");  // a step below 10 Hz: no column width
    ScriptedRadio r3;
    RadioLink l3{r3};
    Sweep s3{l3, h3};
    EXPECT_THROW(s3.starten_Click(), RuntimeError);
}
