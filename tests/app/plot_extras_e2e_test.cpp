// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's memory and readout against a radio whose signals fade from sweep
// to sweep: the simulator's log says what each step read, and the plot as the
// screen shows it must agree.

#include "display/levels.h"
#include "faults/fault_harness.h"
#include "files/preferences.h"

using namespace faults;
namespace prefs = qv7m::preferences;

namespace {

// Step k of a 10 kHz window at 250 Hz steps: its column's centre in pixels
// (the last column's right half lies beyond the plot), and the row a reading
// stands at.
int columnPixel(int k) { return std::min(int(std::floor(k * 200 / 15.0)), 532); }
int rowOf(double reading) { return int(std::floor((2550 - 10 * reading) / 15)); }

bool isTrace(QRgb c) { return qRed(c) == 0 && qBlue(c) == 0 && (qGreen(c) == 220 || qGreen(c) == 140); }

class PlotExtrasE2e : public Program {
protected:
    void movePointer(int x) { mouseOnPlot(QEvent::MouseMove, QPointF(x, 80)); }
    QImage plotAsShown() { return child(*form, "plot")->grab().toImage(); }
};

}  // namespace

TEST_F(PlotExtrasE2e, HoldsAverageAndReadoutFollowTheRadioAcrossARetune) {
    writeIni("0\r\n0\r\n1\r\n0\r\nN0CALL\r\n");  // 10 kHz, 250 Hz, area graph
    simtest::Sim radio({"--vfoa", "14252470", "--fading", "20"});
    linkTo(radio);
    for (const QString& key : {prefs::kMaxHold, prefs::kMinHold, prefs::kAverage, prefs::kReadout, prefs::kClickToTune})
        prefs::writeFlag(key, true);
    start();

    QImage afterFive;
    QImage afterRetune;
    long long drawnAfterFive = 0;
    long long drawnAfterRetune = 0;
    QString readout;
    sweep().onSweepStarted = [&] {
        if (sweep().sweepsStarted() == 6) {
            afterFive = plotAsShown();
            drawnAfterFive = sweep().stepsDrawn();
            movePointer(columnPixel(10) + 2);
            readout = text(*form, "plotReadout");
            // Three quarters across: VFO-A 2.5 kHz up, on the same 250 Hz grid.
            mouseOnPlot(QEvent::MouseButtonPress, QPointF(0.75 * child(*form, "plot")->width(), 50));
        }
        if (afterRetune.isNull() && text(*form, "centreLabel") == QStringLiteral("14254970 Hz")) {
            afterRetune = plotAsShown();
            drawnAfterRetune = sweep().stepsDrawn();
        }
    };
    ASSERT_TRUE(scanUntil(
        [&] {
            if (afterRetune.isNull()) return false;
            click(*form, "setupButton");
            return true;
        },
        90));
    ASSERT_FALSE(afterFive.isNull());

    // After five sweeps, at every step: the max and min of its five readings,
    // and the trace's top at the mean of the last four.
    const auto five = readingsOf(radio, drawnAfterFive);
    ASSERT_EQ(five.size(), 41u);
    int k = 0;
    for (const auto& [units, readings] : five) {
        ASSERT_EQ(readings.size(), 5u) << units;
        const int x = columnPixel(k++);
        const int max = *std::max_element(readings.begin(), readings.end());
        const int min = *std::min_element(readings.begin(), readings.end());
        EXPECT_EQ(afterFive.pixel(x, rowOf(max)), qRgb(255, 210, 0)) << "max hold at " << units << "0 Hz";
        // Where both fall on one row the max line, drawn last, covers the min's.
        if (rowOf(min) != rowOf(max)) {
            EXPECT_EQ(afterFive.pixel(x, rowOf(min)), qRgb(0, 170, 255)) << "min hold at " << units << "0 Hz";
        }
        const double mean = (readings[1] + readings[2] + readings[3] + readings[4]) / 4.0;
        int top = 0;
        while (top < afterFive.height() - 1 && !isTrace(afterFive.pixel(x, top))) ++top;
        EXPECT_NEAR(top, rowOf(std::lround(mean)), 1) << "average at " << units << "0 Hz";
    }

    // The readout at step 10 (14 249.97 kHz), 2.5 kHz below the operator.
    const std::vector<int>& there = five.at(1424997);
    const int held = *std::max_element(there.begin(), there.end());
    const auto strength = [](int r) {
        return QStringLiteral("%1  %2 dB")
            .arg(qv7m::sUnits(r), QString::asprintf("%+ld", std::lround(qv7m::dbOverS9(r))));
    };
    EXPECT_EQ(readout,
              QStringLiteral("14249.97 kHz\n%1\nmax %2\n-2.50 kHz").arg(strength(there.back()), strength(held)));

    // After the retune the holds stay by frequency: the 31 steps the windows
    // share show what was held there, the 10 new ones nothing yet.
    const auto before = readingsOf(radio, drawnAfterRetune);
    for (int step = 0; step < 41; ++step) {
        const int32_t units = 1424997 + 25 * step;
        const int x = columnPixel(step);
        int maxRows = 0;
        for (int y = 0; y < afterRetune.height(); ++y) maxRows += afterRetune.pixel(x, y) == qRgb(255, 210, 0);
        if (step >= 31) {
            EXPECT_EQ(maxRows, 0) << "a hold where nothing was read, at " << units << "0 Hz";
            continue;
        }
        const std::vector<int>& readings = before.at(units);
        const int max = *std::max_element(readings.begin(), readings.end());
        EXPECT_EQ(afterRetune.pixel(x, rowOf(max)), qRgb(255, 210, 0)) << "max hold kept at " << units << "0 Hz";
    }
}
