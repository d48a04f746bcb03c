// SPDX-License-Identifier: GPL-3.0-or-later
// The link's operations against the simulated radio: exact frames out, exact
// values in.

#include "radio/radiolink.h"
#include "support/virtual_radio.h"

#include <gtest/gtest.h>

using namespace qv7m;

namespace {

struct Link : ::testing::Test {
    Link() : radio(static_cast<test::VirtualRadio&>(aligned.line())), link(aligned) { link.open(1); }
    // The frames sent since the port was opened, in hexadecimal, and "close".
    std::vector<std::string> sent() const {
        std::vector<std::string> frames;
        for (const QByteArray& f : radio.sent) frames.push_back(f == "close" ? "close" : f.toHex(' ').toStdString());
        return {frames.begin() + 1, frames.end()};
    }
    AlignedLink aligned{std::make_unique<test::VirtualRadio>()};
    test::VirtualRadio& radio;
    RadioLink link;
};

const std::string kFollowUp = "00 00 00 0f 0e";

}  // namespace

TEST_F(Link, ScanFramesAndVfoBLeastSignificantPairFirst) {
    link.sendScanStart();
    link.sendScanEnd();
    link.tuneVfoB(99999);  // nothing encodable yet: zeros
    // What cannot be encoded as eight BCD digits repeats the frame before.
    const std::pair<int32_t, const char*> rows[] = {
        {1425000, "00 50 42 01"}, {703500, "00 35 70 00"},   {100000, "00 00 10 00"},  {9999999, "99 99 99 09"},
        {99999, "99 99 99 09"},   {10000000, "99 99 99 09"}, {-123456, "99 99 99 09"}, {INT32_MIN, "99 99 99 09"}};
    std::vector<std::string> want{"00 00 00 01 83", "00 00 00 00 85", "00 00 00 00 8a"};
    for (const auto& [units, bcd] : rows) {
        link.tuneVfoB(units);
        want.push_back(std::string(bcd) + " 8a");
    }
    EXPECT_TRUE(link.tuneVfoA(1425247));
    EXPECT_TRUE(link.tuneVfoA(10000));
    EXPECT_TRUE(link.tuneVfoA(3000000));
    EXPECT_FALSE(link.tuneVfoA(9999));
    EXPECT_FALSE(link.tuneVfoA(3000001));
    EXPECT_FALSE(link.tuneVfoA(-1425247));
    link.close();
    want.insert(want.end(), {"47 52 42 01 0a", "00 00 01 00 0a", "00 00 00 03 0a", "close"});
    EXPECT_EQ(sent(), want);
}

TEST_F(Link, MeterReadSendsFiveFollowUpsAndTakesTheSecondCopy) {
    // A zero counts, a byte is unsigned; a radio that says nothing keeps the reading.
    for (const char* answer : {"9A9A9A9AF7", "00000000F7", "FFFFFFFFF7", "", ""})
        radio.script.push_back(QByteArray::fromHex(answer));
    EXPECT_EQ(link.readMeter(), 0x9A);
    EXPECT_EQ(sent(),
              std::vector<std::string>({"01 00 00 00 f7", kFollowUp, kFollowUp, kFollowUp, kFollowUp, kFollowUp}));
    EXPECT_EQ(link.readMeter(), 0);
    EXPECT_EQ(link.readMeter(), 255);
    EXPECT_EQ(link.readMeter(), 255);
    link.forgetMeter();
    EXPECT_EQ(link.readMeter(), -1) << "a silent probe stays unanswered";
}
