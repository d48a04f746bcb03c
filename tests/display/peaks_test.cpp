// SPDX-License-Identifier: GPL-3.0-or-later
// The peaks a sweep shows and the signals followed from sweep to sweep. (The
// marks on the simulated band's carriers: the plot extras' end-to-end test.)

#include "display/peaks.h"
#include "display/signal_tracker.h"

#include <gtest/gtest.h>

using namespace qv7m;

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
