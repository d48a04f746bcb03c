// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's memory and readout against a radio whose signals fade from sweep
// to sweep: the simulator's log says what each step read, and the plot as the
// screen shows it must agree.

#include "display/levels.h"
#include "faults/fault_harness.h"
#include "files/preferences.h"
#include "radio/cat_codec.h"
#include "sim/band.h"

#include <QAccessible>
#include <QMenu>
#include <QTableView>
#include <map>

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

// The 40 m CW carriers, 40 kHz at 500 Hz steps around 7022.5 kHz, with Region
// 1's band plan: the marks, the signal list a screen reader reads, and the
// readout's segment all tell of the same carriers.
TEST_F(PlotExtrasE2e, PeaksTheSignalListAndTheBandPlanTellOfTheCarriers) {
    writeIni("0\r\n2\r\n2\r\n0\r\nN0CALL\r\n");  // 40 kHz, 500 Hz, area graph
    simtest::Sim radio({"--vfoa", "7022500"});
    linkTo(radio);
    prefs::writeFlag(prefs::kMarkPeaks, true);
    prefs::writeFlag(prefs::kReadout, true);
    prefs::writeNumber(prefs::kBandPlan, 1);
    QAccessible::setActive(true);
    start();
    chooseFromMenu(QStringLiteral("Signals\u2026"));
    auto* list = form->findChild<QTableView*>();
    ASSERT_NE(list, nullptr);

    QStringList marked;
    QStringList listed;
    QString readout;
    QRgb strip = 0;
    sweep().onSweepStarted = [&] {
        if (sweep().sweepsStarted() != 3) return;
        for (const qv7m::PeakMark& mark : form->extras().peakMarks()) marked << mark.label;
        QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(list)->tableInterface();
        for (int row = 0; row < table->rowCount(); ++row) listed << table->cellAt(row, 0)->text(QAccessible::Name);
        movePointer(child(*form, "plot")->width() / 2);
        readout = text(*form, "plotReadout");
        strip = plotAsShown().pixel(5, 3);
    };
    ASSERT_TRUE(scanUntil(
        [&] {
            if (readout.isEmpty()) return false;
            click(*form, "setupButton");
            return true;
        },
        60));

    // Each mark stands within a step of one of the band's carriers.
    ASSERT_FALSE(marked.isEmpty());
    for (const QString& label : marked) {
        const double hz = label.toDouble() * 1000;
        const auto& carriers = qv7m::sim::builtinBand().carriers;
        const bool onCarrier = std::any_of(carriers.begin(), carriers.end(),
                                           [&](const qv7m::sim::Signal& c) { return std::fabs(c.freqHz - hz) <= 500; });
        EXPECT_TRUE(onCarrier) << "a mark at " << label.toStdString() << " kHz, where the band has no carrier";
    }
    // Two sweeps alike: the list holds the very signals marked.
    listed.sort();
    marked.sort();
    EXPECT_EQ(listed, marked);
    EXPECT_TRUE(readout.startsWith(QStringLiteral("7022.50 kHz\n")));
    EXPECT_TRUE(readout.endsWith(QStringLiteral("\n+0.00 kHz\nCW")));
    EXPECT_NE(strip, qRgb(0, 0, 0)) << "no band plan strip";
}
