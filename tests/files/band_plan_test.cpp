// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped band plans against each region's amateur allocations, and a
// user's file with faults in it.
#include "files/band_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace qv7m {
namespace {

using Allocations = std::vector<std::pair<qint64, qint64>>;

// The HF amateur bands of the ITU Radio Regulations as each region's IARU plan gives them.
const Allocations kWorldwide = {{10100000, 10150000}, {14000000, 14350000}, {18068000, 18168000},
                                {21000000, 21450000}, {24890000, 24990000}, {28000000, 29700000}};
const std::map<int, Allocations> kRegional = {
    {1, {{1810000, 2000000}, {3500000, 3800000}, {5351500, 5366500}, {7000000, 7200000}}},
    {2, {{1800000, 2000000}, {3500000, 4000000}, {7000000, 7300000}}},
    {3, {{1800000, 2000000}, {3500000, 3900000}, {7000000, 7200000}}},
};

TEST(BandPlan, EachShippedPlanIsWholeSortedAndInsideItsRegionsBands) {
    for (const auto& [region, regional] : kRegional) {
        SCOPED_TRACE(region);
        const BandPlan plan = loadBandPlan(bandPlanResource(region));
        EXPECT_EQ(plan.skippedLines, 0);
        Allocations bands = regional;
        bands.insert(bands.end(), kWorldwide.begin(), kWorldwide.end());
        std::map<qint64, int> segmentsInBand;
        for (size_t i = 0; i < plan.segments.size(); ++i) {
            const BandSegment& s = plan.segments[i];
            SCOPED_TRACE(s.lowHz);
            if (i > 0) {
                EXPECT_LE(plan.segments[i - 1].highHz, s.lowHz) << "sorted, no overlap";
            }
            bool inside = false;
            for (const auto& [low, high] : bands) {
                if (s.lowHz >= low && s.highHz <= high) {
                    inside = true;
                    ++segmentsInBand[low];
                }
            }
            EXPECT_TRUE(inside);
        }
        for (const auto& band : bands) {
            EXPECT_GT(segmentsInBand[band.first], 0) << "band " << band.first;
        }
    }
}

// Any line end; bad lines are skipped, counted and the first one named.
TEST(BandPlan, AFileWithBadLinesKeepsItsGoodOnes) {
    const QByteArray text =
        "\xEF\xBB\xBF# min, max, mode, step, colour, name\r\n"
        "7000000, 7040000, CW, 10, #C04A90E2, CW\r\n"
        "\n"
        "3500000, 3600000, CW, 10, #C04A90E2\n"    // line 4: five fields
        "3500000, 3600000, CW, 10, #12345, CW\r"   // line 5: bad colour
        "3600000, 3500000, LSB, 10, #123456, x\n"  // line 6: min above max
        "3500k, 3600000, CW, 10, #123456, x\n"     // line 7: not a number
        " 7040000 , 7050000 , USB , 10 , #4080C0 , Digi, narrow \n";
    const BandPlan plan = parseBandPlan(text);
    EXPECT_EQ(plan.skippedLines, 4);
    EXPECT_EQ(plan.firstSkippedLine, 4);
    ASSERT_EQ(plan.segments.size(), 2u);
    EXPECT_EQ(plan.segments[0].colour, 0xC04A90E2u);
    EXPECT_EQ(plan.segments[1].colour, 0xFF4080C0u) << "#RRGGBB is opaque";
    EXPECT_EQ(plan.segments[1].name, "Digi, narrow");
    EXPECT_EQ(segmentAt(plan, 7040000), &plan.segments[1]) << "a boundary belongs to the segment above";
    EXPECT_EQ(segmentAt(plan, 7039999), &plan.segments[0]);
    EXPECT_EQ(segmentAt(plan, 7050001), nullptr);
}

}  // namespace
}  // namespace qv7m
