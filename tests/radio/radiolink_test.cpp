// The link's operations against a scripted serial control: exact bytes out,
// exact values in. (The status record's decoding has a fuzz target.)

#include "radio/radiolink.h"
#include "scripted_comm.h"

#include <gtest/gtest.h>

using namespace qv7m;
using Log = std::vector<std::string>;

namespace {

struct Link : ::testing::Test {
    test::ScriptedComm comm;
    RadioLink link{comm};
    void SetUp() override { link.open(), comm.log.clear(); }
};

}  // namespace

TEST_F(Link, ScanFramesAndVfoBLeastSignificantPairFirst) {
    link.sendScanStart();
    link.sendScanEnd();
    link.tuneVfoB(99999);  // nothing encodable yet: zeros
    // What cannot be encoded as eight BCD digits repeats the frame before.
    const std::pair<int32_t, const char*> rows[] = {
        {1425000, "00 50 42 01"}, {703500, "00 35 70 00"},   {100000, "00 00 10 00"},  {9999999, "99 99 99 09"},
        {99999, "99 99 99 09"},   {10000000, "99 99 99 09"}, {-123456, "99 99 99 09"}, {INT32_MIN, "99 99 99 09"}};
    Log want{"out 00 00 00 01 83", "out 00 00 00 00 85", "out 00 00 00 00 8A"};
    for (const auto& [units, bcd] : rows) link.tuneVfoB(units), want.push_back(std::string("out ") + bcd + " 8A");
    link.close(), want.push_back("close");
    EXPECT_EQ(comm.log, want);  // one write a frame
}

TEST_F(Link, MeterReadTakesTheLastNonEmptyOfFiveReadsEachFollowedUp) {
    comm.reads({0x12, 0x34, 0x56, 0x78, 0x9A});
    EXPECT_EQ(link.readMeter(), 0x9A);
    const std::string next = "out 00 00 00 0F 0E";
    EXPECT_EQ(comm.log,
              (Log{"out 01 00 00 00 F7", "in 12", next, "in 34", next, "in 56", next, "in 78", next, "in 9A", next}));
    // A zero byte counts; a byte is unsigned, not -1; nothing keeps the reading.
    const std::pair<std::vector<int>, int16_t> rows[] = {
        {{-1, -1, 0x00, -1, -1}, 0}, {{0xF0, -1, -1, -1, 0xFF}, 255}, {{}, 255}};
    for (const auto& [reads, after] : rows) {
        comm.reads(reads);
        EXPECT_EQ(link.readMeter(), after);
    }
    link.forgetMeter();
    EXPECT_EQ(link.readMeter(), -1) << "a silent probe stays unanswered";
}

TEST_F(Link, StatusReadTakesSixteenReadsEachFollowedUpAndDecodesReadsFiveToEight) {
    comm.reads({0xEE, -1, 0x10, 0x00, 0x00, 0x6B, 0x6C, 0x00, 0xAA, 0x55, -1, 0xFF, 0x01, 0x02, 0x03, 0x04});
    EXPECT_TRUE(link.readStatus() == 440000 && link.centre() == 440000) << link.centre();
    EXPECT_EQ(comm.log.front(), "out 01 00 00 02 10");
    EXPECT_EQ(comm.written.size(), 5 + 16 * 5);
    EXPECT_EQ(test::hex(comm.written.right(5)), "00 00 00 0F 0E");
    EXPECT_EQ(std::count(comm.log.begin(), comm.log.end(), "out 00 00 00 0F 0E"), 16);
}
