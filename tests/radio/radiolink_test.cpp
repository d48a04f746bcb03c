// The link's operations against a scripted serial control: exact bytes out,
// exact values in. (The status read has a fuzz target, fuzz_status_decode.)

#include "radio/radiolink.h"
#include "support/scripted_line.h"

#include <gtest/gtest.h>

using namespace qv7m;
using Log = std::vector<std::string>;

namespace {

struct Link : ::testing::Test {
    Link() : line(*new test::ScriptedLine), aligned(std::unique_ptr<Line>(&line)), link(aligned) {}
    void SetUp() override {
        link.open(1);
        line.log.clear();
    }
    test::ScriptedLine& line;
    AlignedLink aligned;
    RadioLink link;
};

const std::string kFollowUp = "out 00 00 00 0F 0E";

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
    for (const auto& [units, bcd] : rows) {
        link.tuneVfoB(units);
        want.push_back(std::string("out ") + bcd + " 8A");
    }
    link.close();
    want.push_back("close");
    EXPECT_EQ(line.log, want);  // one write a frame
}

TEST_F(Link, VfoATakesEveryFrequencyTheRadioTunesAndNothingElse) {
    EXPECT_TRUE(link.tuneVfoA(1425247));
    EXPECT_TRUE(link.tuneVfoA(10000));
    EXPECT_TRUE(link.tuneVfoA(3000000));
    EXPECT_FALSE(link.tuneVfoA(9999));
    EXPECT_FALSE(link.tuneVfoA(3000001));
    EXPECT_FALSE(link.tuneVfoA(-1425247));
    EXPECT_EQ(line.log, (Log{"out 47 52 42 01 0A", "out 00 00 01 00 0A", "out 00 00 00 03 0A"}));
}

TEST_F(Link, MeterReadSendsFiveFollowUpsAndTakesTheSecondCopy) {
    line.answers.push_back(QByteArray::fromHex("9A9A9A9AF7"));
    EXPECT_EQ(link.readMeter(), 0x9A);
    const Log want{"out 01 00 00 00 F7", kFollowUp, kFollowUp, kFollowUp, kFollowUp, kFollowUp};
    EXPECT_EQ(line.log, want);
    // A zero counts, a byte is unsigned; a radio that says nothing keeps the reading.
    line.answers.push_back(QByteArray::fromHex("00000000F7"));
    EXPECT_EQ(link.readMeter(), 0);
    line.answers.push_back(QByteArray::fromHex("FFFFFFFFF7"));
    EXPECT_EQ(link.readMeter(), 255);
    line.answers.push_back(QByteArray());
    EXPECT_EQ(link.readMeter(), 255);
    link.forgetMeter();
    line.answers.push_back(QByteArray());
    EXPECT_EQ(link.readMeter(), -1) << "a silent probe stays unanswered";
}
