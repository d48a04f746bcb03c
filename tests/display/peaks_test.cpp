// SPDX-License-Identifier: GPL-3.0-or-later
// The strength scale, the peaks a sweep shows and the signals followed from
// sweep to sweep.

#include "display/peaks.h"
#include "display/levels.h"
#include "display/signal_tracker.h"
#include "sim/band.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>

using namespace qv7m;

TEST(Levels, TheGridsScale) {
    EXPECT_DOUBLE_EQ(dbOverS9(17), -48);
    EXPECT_DOUBLE_EQ(dbOverS9(187), 20);
    EXPECT_EQ(sUnits(0), "S0");
    EXPECT_EQ(sUnits(120), "S7");
    EXPECT_EQ(sUnits(152), "S9");
    EXPECT_EQ(sUnits(162), "S9+5");
    EXPECT_EQ(sUnits(255), "S9+60");
}

// The 40 m CW carriers at 500 Hz steps: the peaks are the carriers that stand
// 10 dB over the median reading and 6 dB over the lowest level between them
// and the nearest stronger carrier (or the window's end), each within a step.
TEST(Peaks, TheBandsCarriersThatStandClear) {
    const qint64 from = 7000000;
    const qint64 to = 7045000;
    const qint64 step = 500;
    for (uint64_t seed : {1, 2, 3}) {
        SCOPED_TRACE(seed);
        const sim::Meter meter(sim::builtinBand(), seed);
        std::vector<qint64> hz;
        std::vector<double> readings;
        for (qint64 f = from; f <= to; f += step) hz.push_back(f);
        for (qint64 f : hz) readings.push_back(meter.reading(f));
        std::vector<double> sorted = readings;
        std::sort(sorted.begin(), sorted.end());
        const double medianDb = dbOverS9(sorted[sorted.size() / 2]);
        const auto lowestDb = [&](double a, double b) {
            double low = 1e9;
            for (qint64 f : hz) {
                if (f >= std::min(a, b) && f <= std::max(a, b)) low = std::min(low, dbOverS9(meter.level(f)));
            }
            return low;
        };
        std::vector<double> expected;
        for (const sim::Signal& c : meter.band().carriers) {
            if (c.freqHz < from || c.freqHz > to) continue;
            double left = from;
            double right = to;
            for (const sim::Signal& o : meter.band().carriers) {
                if (o.level <= c.level) continue;
                if (o.freqHz < c.freqHz) left = std::max(left, o.freqHz);
                if (o.freqHz > c.freqHz) right = std::min(right, o.freqHz);
            }
            const double top = dbOverS9(meter.level(qint64(c.freqHz)));
            const double clear = top - medianDb;
            const double prominence = top - std::max(lowestDb(left, c.freqHz), lowestDb(c.freqHz, right));
            // Far enough from either limit that the meter's noise cannot tip it.
            EXPECT_GT(std::fabs(clear - 10), 2) << c.freqHz;
            EXPECT_GT(std::fabs(prominence - 6), 2) << c.freqHz;
            if (clear >= 10 && prominence >= 6) expected.push_back(c.freqHz);
        }
        EXPECT_EQ(expected.size(), 7u);
        const std::vector<Peak> found = findPeaks(hz, readings);
        ASSERT_EQ(found.size(), expected.size());
        for (double f : expected) {
            const bool near =
                std::any_of(found.begin(), found.end(), [&](const Peak& p) { return std::abs(p.hz - f) <= step; });
            EXPECT_TRUE(near) << f;
        }
    }
}

namespace {

// 41 points 1 kHz apart on a floor of 30, with the given readings laid over it.
std::vector<Peak> peaksOver(const std::vector<std::pair<int, double>>& points, int maxPeaks = 8) {
    std::vector<qint64> hz;
    std::vector<double> readings(41, 30);
    for (int i = 0; i < 41; ++i) hz.push_back(1000 * i);
    for (const auto& [i, reading] : points) readings[size_t(i)] = reading;
    return findPeaks(hz, readings, maxPeaks);
}

}  // namespace

TEST(Peaks, FlatOrNoisyTopsCountOnceAtTheirMiddle) {
    const auto flat = peaksOver({{8, 150}, {9, 150}, {10, 150}, {11, 150}});
    ASSERT_EQ(flat.size(), 1u);
    EXPECT_EQ(flat[0].index, 9);
    const auto noisy = peaksOver({{20, 150}, {21, 151}, {22, 149}, {23, 151}, {24, 150}});
    ASSERT_EQ(noisy.size(), 1u);
    EXPECT_EQ(noisy[0].index, 22);
    EXPECT_EQ(noisy[0].reading, 151);
    // Two equal tops with a deep dip between are two signals.
    EXPECT_EQ(peaksOver({{10, 150}, {12, 150}}).size(), 2u);
}

TEST(Peaks, StillRisingAtTheWindowsEndIsNoPeak) {
    EXPECT_TRUE(peaksOver({{38, 100}, {39, 140}, {40, 180}}).empty());
    EXPECT_EQ(peaksOver({{38, 100}, {39, 180}, {40, 140}}).size(), 1u);
}

TEST(Peaks, TheEightStrongestFirst) {
    std::vector<std::pair<int, double>> spikes;
    for (int k = 0; k < 12; ++k) spikes.push_back({3 + 3 * k, 70 + 10 * k});
    const auto found = peaksOver(spikes);
    ASSERT_EQ(found.size(), 8u);
    EXPECT_EQ(found.front().reading, 180);
    EXPECT_EQ(found.back().reading, 110);
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end(), [](auto& a, auto& b) { return a.reading > b.reading; }));
}

TEST(SignalTracker, FollowsCountsAndForgets) {
    SignalTracker tracker;
    const QDateTime start(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
    tracker.addSweep(start, 500, {{0, 7035000, 190}, {0, 7040500, 150}});
    // The first drifted a step: still itself. Two steps off the second is another.
    tracker.addSweep(start.addSecs(10), 500, {{0, 7035500, 195}, {0, 7041500, 150}});
    const auto& list = tracker.signalList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].hz, 7035500);
    EXPECT_EQ(list[0].strongest, 195);
    EXPECT_EQ(list[0].firstHeard, start);
    EXPECT_EQ(list[0].heardOfRecent(), 2);
    EXPECT_FALSE(list[1].now.has_value());
    for (int k = 2; k < 13; ++k) tracker.addSweep(start.addSecs(10 * k), 500, {{0, 7035500, 180}});
    EXPECT_EQ(list[0].heardOfRecent(), 10);
    EXPECT_EQ(list[0].now, 180);
    EXPECT_EQ(list[1].heardOfRecent(), 0);
    // Ten minutes unheard: the first second one goes, the other stays a second more.
    tracker.addSweep(start.addSecs(609), 500, {{0, 7035500, 180}});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].hz, 7041500);
}
