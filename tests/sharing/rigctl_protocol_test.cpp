// The rigctld protocol without sockets: cutting a client's bytes into lines,
// and the replies to lines.
#include "sharing/rigctl_protocol.h"

#include <gtest/gtest.h>
#include <QList>

#include <vector>

namespace qv7m::rigctl {
namespace {

std::vector<QByteArray> split(LineSplitter& splitter, const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    for (char c : bytes) {
        if (std::optional<QByteArray> line = splitter.take(c)) lines.push_back(*line);
    }
    return lines;
}

TEST(RigctlLines, EndAtLineFeedWithoutTheirCarriageReturnAndSkipBlankOnes) {
    LineSplitter splitter;
    const std::vector<QByteArray> lines = split(splitter, "f\r\n\r\n  \n\nF 7035000\nm\r\r\nl STR");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "f");
    EXPECT_EQ(lines[1], "F 7035000");
    EXPECT_EQ(lines[2], "m\r");  // only one CR goes with the line end
    EXPECT_EQ(split(splitter, "ENGTH\n"), std::vector<QByteArray>{"l STRENGTH"});
}

TEST(RigctlLines, AnOverlongLineComesOutOnceAsEmptyAndItsRestIsDropped) {
    LineSplitter splitter;
    // The longest line there may be, then one byte more.
    EXPECT_EQ(split(splitter, QByteArray(kMaxLineBytes, 'f') + '\n'),
              std::vector<QByteArray>{QByteArray(kMaxLineBytes, 'f')});
    const std::vector<QByteArray> overlong = split(splitter, QByteArray(kMaxLineBytes + 1, 'f'));
    ASSERT_EQ(overlong.size(), 1u);
    EXPECT_TRUE(overlong[0].isEmpty());
    EXPECT_TRUE(split(splitter, QByteArray(5000, 'F') + "\r\n").empty());
    EXPECT_EQ(split(splitter, "f\n"), std::vector<QByteArray>{"f"});
}

struct CountingRig : RigAccess {
    bool up = true;
    int radioCalls = 0;
    int64_t tuned = 0;
    bool available() override { return up; }
    std::optional<int64_t> frequencyHz() override {
        ++radioCalls;
        return 14074000;
    }
    bool setFrequencyHz(int64_t hz) override {
        ++radioCalls;
        tuned = hz;
        return true;
    }
    std::optional<QString> mode() override {
        ++radioCalls;
        return std::nullopt;
    }
    std::optional<int> strengthDb() override {
        ++radioCalls;
        return 20;
    }
};

TEST(RigctlReplies, PlainAndExtendedForms) {
    struct Case {
        const char* line;
        const char* reply;
        int radioCalls;
    };
    const Case cases[] = {
        {"f", "14074000\n", 1},
        {"+f", "get_freq:\nFrequency: 14074000\nRPRT 0\n", 1},
        {";\\get_freq", "get_freq:;Frequency: 14074000;RPRT 0\n", 1},
        {"m", "RPRT -6\n", 1},  // the radio did not answer
        {"+l STRENGTH", "get_level: STRENGTH\n20\nRPRT 0\n", 1},
        {"l RFPOWER", "RPRT -11\n", 0},
        {"s", "0\nVFOA\n", 0},
        {"|s", "get_split_vfo:|Split: 0|TX VFO: VFOA|RPRT 0\n", 0},
        {"S 1 VFOB", "RPRT -9\n", 0},
        {"F 7035000.4", "RPRT 0\n", 1},
        {"F 30000000.1", "RPRT -1\n", 0},  // past the radio's range
        {"F nan", "RPRT -1\n", 0},
        {"F", "RPRT -1\n", 0},
        {"+F 1 2", "set_freq: 1 2\nRPRT -1\n", 0},
        {"X", "RPRT -11\n", 0},
        {"+X", "RPRT -11\n", 0},
        {"\tf\t", "14074000\n", 1},
        {"F 7035000\x7f", "RPRT -1\n", 0},
        {"", "RPRT -1\n", 0},  // an overlong line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        CountingRig rig;
        const Reply reply = execute(rig, c.line);
        EXPECT_EQ(reply.bytes, c.reply);
        EXPECT_FALSE(reply.quit);
        EXPECT_EQ(rig.radioCalls, c.radioCalls);
    }
}

TEST(RigctlReplies, AnUnusableRadioIsAnIoErrorOnlyForWhatNeedsIt) {
    CountingRig rig;
    rig.up = false;
    EXPECT_EQ(execute(rig, "f").bytes, "RPRT -6\n");
    EXPECT_EQ(execute(rig, "F 7035000").bytes, "RPRT -6\n");
    EXPECT_EQ(execute(rig, "v").bytes, "VFOA\n");
    EXPECT_EQ(rig.radioCalls, 0);
}

TEST(RigctlReplies, QuitInEitherFormClosesAfterItsReply) {
    for (const char* line : {"q", "Q", "\\quit", "+q"}) {
        SCOPED_TRACE(line);
        CountingRig rig;
        const Reply reply = execute(rig, line);
        EXPECT_TRUE(reply.quit);
        EXPECT_TRUE(reply.bytes.endsWith("RPRT 0\n"));
    }
}

TEST(RigctlReplies, DumpStateGivesTheRangeTheRadioTunes) {
    CountingRig rig;
    const QByteArray reply = execute(rig, "\\dump_state").bytes;
    const QList<QByteArray> lines = reply.split('\n');
    ASSERT_GT(lines.size(), 6);
    EXPECT_EQ(lines[3], "100000.000000 30000000.000000 0xc3f -1 -1 0x1 0x1");
    EXPECT_EQ(lines[5], "100000.000000 30000000.000000 0xc3f 5000 100000 0x1 0x1");
    EXPECT_TRUE(reply.endsWith("\ndone\n"));
    EXPECT_EQ(rig.radioCalls, 0);
}

}  // namespace
}  // namespace qv7m::rigctl
