// The trace is the radio's truth: the scan on the real serial control against
// the simulated radio, every drawn point compared with the reading the
// simulator gives for the frequency tuned at that step.

#include "display/recordingsurface.h"
#include "radio/radiolink.h"
#include "radio/serialcontrol.h"
#include "sim/sim_harness.h"
#include "support/drawn.h"
#include "support/sim_log.h"
#include "sweep/sweep.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

#include <unistd.h>

using namespace qv7m;

namespace {

class Host : public SweepHost {
public:
    QString stepText() const override { return QStringLiteral("100"); }
    int16_t styleIndex() const override { return style; }
    int16_t holdValue() const override { return 0; }
    double spanUnits() const override { return 1000; }
    void setEnabled(Control, bool) override {}
    void setCaption(Label l, const QString& t) override { captions[l] = t; }
    void setSmeterWidth(double) override {}
    DrawingSurface& picture1() override { return *surfaces.at(style); }
    void doEvents() override {
        QCoreApplication::processEvents();
        if (onYield) onYield();
    }
    int16_t style = 0;
    std::map<int, std::unique_ptr<RecordingSurface>> surfaces;
    std::map<Label, QString> captions;
    std::function<void()> onYield;
};

}  // namespace

TEST(TraceTruth, EveryStepDrawsTheRadiosReadingInAllThreeStyles) {
    simtest::Sim sim;
    QTemporaryDir work;
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    ASSERT_EQ(::symlink(sim.link.c_str(), "COM1"), 0);

    auto comm = makeSerialControl();
    comm->setSettings(QStringLiteral("4800,n,8,2"));
    comm->setCommPort(1);
    comm->setInputLen(1);
    RadioLink link(*comm);
    Host host;
    for (int s = 0; s < 3; ++s) host.surfaces[s] = std::make_unique<RecordingSurface>(8000, 2550);
    Sweep sweep(link, host);
    link.meterValue = 0;
    // One sweep in each style: the style changes when a new sweep has begun.
    long long sweeps = 0;
    std::vector<int16_t> shades;
    host.onYield = [&] {
        if (sweep.sweepsStarted != sweeps) {
            sweeps = sweep.sweepsStarted;
            host.style = static_cast<int16_t>(std::min<long long>(sweeps - 1, 2));
            shades.push_back(sweep.shade);
            if (sweeps == 4) sweep.stopRequested = -1;
        }
    };
    sweep.starten_Click();
    comm->setPortOpen(false);

    const auto log = simlog::parse(sim.log());
    std::vector<simlog::Frame> tunings;
    for (const auto& f : log)
        if (f.opcode() == 0x8A) tunings.push_back(f);
    ASSERT_GE(tunings.size(), 303u);
    if (tunings[0].vfob != 14245000)
        for (size_t i = 0; i < 60 && i < sim.log().size(); ++i) std::printf("%s\n", sim.log()[i].c_str());
    // shade is toggled before the first point of each sweep: 140, 220, 140.
    ASSERT_GE(shades.size(), 3u);
    EXPECT_EQ(shades[0], 140);
    EXPECT_EQ(shades[1], 220);
    EXPECT_EQ(shades[2], 140);

    int untrue = 0;
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        const auto pts = drawn::points(host.surfaces[s]->calls(), 2550, s);
        ASSERT_EQ(pts.size(), 101u);
        for (int i = 0; i < 101; ++i) {
            const auto& t = tunings[101 * s + i];
            EXPECT_EQ(t.vfob, (1424500 + 10 * i) * 10L);
            EXPECT_FLOAT_EQ(pts[i].x, 80.0f * i);
            if (pts[i].value != t.meter) {
                ++untrue;
                ADD_FAILURE() << "step " << i << " at " << t.vfob << " Hz drew " << pts[i].value << ", radio said "
                              << t.meter;
            }
            if (s < 2) {
                const int16_t shade = s == 0 ? 140 : 220;
                EXPECT_EQ(pts[i].color, RGB(0, shade, 0));
            }
        }
    }
    EXPECT_EQ(untrue, 0);
    QDir::setCurrent(QDir::tempPath());
}
