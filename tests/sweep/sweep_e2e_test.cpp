// The trace is the radio's truth: the scan on the real serial control against
// the simulated radio, every drawn point compared with the reading the
// simulator gives for the frequency tuned at that step.

#include "faults/fault_harness.h"
#include "support/drawn.h"
#include "support/sweep_host.h"

using namespace qv7m;

class TraceTruth : public faults::Program {};

TEST_F(TraceTruth, EveryStepDrawsTheRadiosReadingInAllThreeStyles) {
    simtest::Sim sim;
    linkTo(sim);
    auto serial = makeSerialControl();
    serial->setSettings(QStringLiteral("4800,n,8,2"));
    serial->setCommPort(1);
    serial->setInputLen(1);
    RadioLink link(*serial);
    TestHost host;
    Sweep sweep(link, host);
    link.meterValue = 0;
    // One sweep a style, the style changed as each sweep begins.
    std::vector<int16_t> shades;
    host.onYield = [&] {
        QCoreApplication::processEvents();
        if (sweep.sweepsStarted == long(shades.size())) return;
        shades.push_back(sweep.shade);
        host.style = int16_t(std::min<long long>(sweep.sweepsStarted - 1, 2));
        if (sweep.sweepsStarted == 4) sweep.stopRequested = -1;
    };
    sweep.starten_Click();
    serial->setPortOpen(false);

    std::vector<simlog::Frame> tunings;
    for (const auto& f : faults::logOf(sim))
        if (f.opcode() == 0x8A) tunings.push_back(f);
    ASSERT_GE(tunings.size(), 303u);
    EXPECT_EQ(std::vector<int16_t>(shades.begin(), shades.begin() + 3), (std::vector<int16_t>{140, 220, 140}));
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        const auto pts = drawn::points(host.surfaces[s].calls(), 2550, s);
        ASSERT_EQ(pts.size(), 101u);
        for (int i = 0; i < 101; ++i) {
            const auto& t = tunings[101 * s + i];
            EXPECT_EQ(t.vfob, (1424500 + 10 * i) * 10L);
            EXPECT_FLOAT_EQ(pts[i].x, 80.0f * i);
            EXPECT_EQ(pts[i].value, t.meter) << "step " << i << ", " << t.vfob << " Hz";
            EXPECT_TRUE(s == 2 || pts[i].color == RGB(0, s == 0 ? 140 : 220, 0)) << pts[i].color;
        }
    }
}
