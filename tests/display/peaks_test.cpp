// SPDX-License-Identifier: GPL-3.0-or-later
// The peaks a sweep shows and the signals followed from sweep to sweep.

#include "display/peaks.h"
#include "display/levels.h"
#include "display/signal_tracker.h"
#include "sim/band.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>

using namespace qv7m;

// The 40 m CW carriers at 500 Hz steps: the peaks are the carriers that stand
// 10 dB over the median reading and 6 dB over the lowest level between them
// and the nearest stronger carrier (or the window's end), each within a step.
TEST(Peaks, TheBandsCarriersThatStandClear) {
    const qint64 step = 500;
    std::vector<qint64> hz;
    for (qint64 f = 7000000; f <= 7045000; f += step) hz.push_back(f);
    for (uint64_t seed : {1, 2, 3}) {
        SCOPED_TRACE(seed);
        const sim::Meter meter(sim::builtinBand(), seed);
        std::vector<double> readings;
        for (qint64 f : hz) readings.push_back(meter.reading(f));
        std::vector<double> sorted = readings;
        std::sort(sorted.begin(), sorted.end());
        const double medianDb = dbOverS9(sorted[sorted.size() / 2]);
        const auto lowestDb = [&](double a, double b) {
            double low = 1e9;
            for (qint64 f : hz) {
                if (f >= a && f <= b) low = std::min(low, dbOverS9(meter.level(f)));
            }
            return low;
        };
        std::vector<double> expected;
        for (const sim::Signal& c : meter.band().carriers) {
            if (c.freqHz < hz.front() || c.freqHz > hz.back()) continue;
            double left = hz.front();
            double right = hz.back();
            for (const sim::Signal& o : meter.band().carriers) {
                if (o.level > c.level && o.freqHz < c.freqHz) left = std::max(left, o.freqHz);
                if (o.level > c.level && o.freqHz > c.freqHz) right = std::min(right, o.freqHz);
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
            const auto near = [&](const Peak& p) { return std::abs(p.hz - f) <= step; };
            EXPECT_TRUE(std::any_of(found.begin(), found.end(), near)) << f;
        }
    }
}

// On a floor of 30, 1 kHz apart: tops count once at their middle, a reading
// still rising at the window's end is no peak, and the eight strongest lead.
TEST(Peaks, TopsEdgesAndTheEightStrongest) {
    std::vector<qint64> hz;
    for (int i = 0; i < 41; ++i) hz.push_back(1000 * i);
    std::vector<double> readings(41, 30);
    for (int i = 8; i <= 11; ++i) readings[size_t(i)] = 150;
    for (int i : {20, 22, 24}) readings[size_t(i)] = 150;
    readings[21] = 151;
    readings[23] = 151;
    readings[39] = 140;
    readings[40] = 180;
    const auto tops = findPeaks(hz, readings);
    ASSERT_EQ(tops.size(), 2u);
    EXPECT_EQ(tops[0].index, 22);
    EXPECT_EQ(tops[1].index, 9);
    readings.assign(41, 30);
    for (int k = 0; k < 12; ++k) readings[size_t(3 * k + 3)] = 70 + 10 * k;
    const auto spikes = findPeaks(hz, readings);
    ASSERT_EQ(spikes.size(), 8u);
    EXPECT_EQ(spikes.front().reading, 180);
    EXPECT_EQ(spikes.back().reading, 110);
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
    EXPECT_FALSE(list[1].now.has_value());
    for (int k = 2; k < 13; ++k) tracker.addSweep(start.addSecs(10 * k), 500, {{0, 7035500, 180}});
    EXPECT_EQ(list[0].heardOfRecent(), 10);
    EXPECT_EQ(list[1].heardOfRecent(), 0);
    // Ten minutes unheard: the second goes, the third stays a second more.
    tracker.addSweep(start.addSecs(609), 500, {{0, 7035500, 180}});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].hz, 7041500);
}
