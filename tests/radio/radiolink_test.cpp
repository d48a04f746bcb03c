// The link's procedures against a scripted serial control: exact bytes out,
// exact values in.

#include "radio/radiolink.h"
#include "scripted_comm.h"

#include <gtest/gtest.h>

using namespace qv7m;
using qv7m::test::hex;
using qv7m::test::ScriptedComm;
using Log = std::vector<std::string>;

namespace {

struct Link : ::testing::Test {
    ScriptedComm comm;
    RadioLink link{comm};

    void SetUp() override { comm.setPortOpen(true); comm.log.clear(); }
    // Sixteen status reads with b1..b4 in reads 5 to 8 and noise elsewhere.
    void statusReads(int b1, int b2, int b3, int b4) {
        comm.reads({0xEE, -1, 0x10, 0x00, b1, b2, b3, b4, 0xAA, 0x55, -1, 0xFF, 0x01, 0x02, 0x03, 0x04});
    }
};

}  // namespace

TEST_F(Link, EveryCommandNumber) {
    link.konvertiere(1425000);
    const auto bcd = link.bcdBytes;
    for (int16_t n : {0, 2, 5, 6, 7, 8, 9, 12, -1, -32768, 32767}) link.Befehl(n);
    EXPECT_TRUE(comm.log.empty());
    EXPECT_EQ(link.bcdBytes, bcd);
    for (int16_t n : {3, 4, 10}) link.Befehl(n);
    EXPECT_THROW(link.lesemeter(), RuntimeError);  // the control's error reaches the caller
    link.Befehl(11);
    link.Befehl(10);
    EXPECT_EQ(comm.log, (Log{"out 00 00 00 01 83", "out 00 00 00 00 85", "close", "open", "close"}));
}

TEST_F(Link, SetVfoBSendsWhatIsEncodedLeastSignificantPairFirst) {
    link.Befehl(1);  // nothing encoded yet
    const std::pair<int32_t, const char*> rows[] = {
        {1425000, "00 50 42 01 8A"}, {703500, "00 35 70 00 8A"},   {180000, "00 00 18 00 8A"},
        {2999999, "99 99 99 02 8A"}, {100000, "00 00 10 00 8A"},   {9999999, "99 99 99 09 8A"},
        // What cannot be encoded repeats the previous frame.
        {99999, "99 99 99 09 8A"},   {10000000, "99 99 99 09 8A"}, {0, "99 99 99 09 8A"},
        {-50000, "99 99 99 09 8A"},  {-123456, "99 99 99 09 8A"},  {INT32_MIN, "99 99 99 09 8A"}};
    for (const auto& [f, frame] : rows) {
        link.konvertiere(f);
        link.Befehl(1);
        EXPECT_EQ(hex(comm.outputs.back()), frame) << f;
    }
    EXPECT_EQ(hex(comm.outputs.front()), "00 00 00 00 8A");
    EXPECT_EQ(comm.outputs.size(), std::size(rows) + 1);  // one write a frame
}

TEST(Hex2Dec, TheWholeTableAndOverflowAsAnError) {
    const std::pair<const char*, int32_t> rows[] = {
        {"", 0},       {"25", 37},  {"99", 153}, {"15BE68", 1425000}, {"ABC", 2748},
        {"abc", -273}, {"ff", -17}, {"G", -1},   {"1G", 15},          {"7FFFFFFF", 2147483647},
        {"-1", 1 - 16}, {"GGGGGGGG", -0x11111111},  // just inside the range on the negative side
        {"00000000000000000000001", 1}};            // leading zeros weigh nothing
    for (const auto& [text, value] : rows) EXPECT_EQ(RadioLink::Hex2Dec(text), value) << text;
    for (const char* text : {"80000000", "FFFFFFFF", "100000000", "G0000000000"}) {
        try {
            RadioLink::Hex2Dec(text);
            ADD_FAILURE() << text << ": no overflow";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow) << text;
        }
    }
}

TEST_F(Link, MeterReadWritesThirtyBytesAndTakesTheLastNonEmptyRead) {
    comm.reads({0x12, 0x34, 0x56, 0x78, 0x9A});
    link.lesemeter();
    const std::string next = "out 00 00 00 0F 0E";
    EXPECT_EQ(comm.log, (Log{"out 01 00 00 00 F7", "in 12", next, "in 34", next, "in 56", next, "in 78", next,
                             "in 9A", next}));
    EXPECT_EQ(link.rxBuffer[2], QByteArray("\x34"));  // each read in its own element
    const struct {
        std::vector<int> reads;
        int16_t before, after;
    } rows[] = {{{-1, 0x12, -1, 0x34, -1}, -1, 52},
                {{-1, -1, 0x00, -1, -1}, -1, 0},      // a zero byte counts
                {{0xF0, -1, -1, -1, 0xFF}, -1, 255},  // unsigned, not -1
                {{}, -1, -1},                         // nothing received keeps the old value
                {{}, 77, 77}};
    for (const auto& row : rows) {
        comm.reads(row.reads);
        link.meterValue = row.before;
        link.lesemeter();
        EXPECT_EQ(link.meterValue, row.after);
    }
    for (int k = 1; k <= 5; ++k) EXPECT_TRUE(link.rxBuffer[k].isEmpty());
    EXPECT_EQ(comm.written.size(), 6 * 30);
}

TEST_F(Link, StatusReadWrites85BytesAndDecodesReadsFiveToEight) {
    // Between them the rows pass every hex digit through the decode. A
    // frequency the radio cannot tune (below 100 kHz, above 30 MHz) or an
    // unfilled byte leaves the centre where it was.
    const struct {
        int b1, b2, b3, b4;
        int32_t freq;
    } rows[] = {{0x01, 0x5B, 0xE6, 0x80, 1425000}, {0x00, 0x6B, 0x6C, 0x00, 440000},
                {0x12, 0x34, 0x56, 0x78, 2311527}, {0x79, 0xAD, 0x12, 0x3F, 2311527},
                {0xFF, 0xFF, 0xFF, 0xFF, 2311527}, {-1, -1, -1, -1, 2311527},
                {0x01, 0x5B, 0xE6, -1, 2311527},   {0x00, 0x02, 0x70, 0xF0, 2311527},
                {0x00, 0x02, 0x71, 0x00, 10000},   {0x02, 0xDC, 0x6C, 0x10, 10000},
                {0x02, 0xDC, 0x6C, 0x00, 3000000}};
    for (const auto& row : rows) {
        comm.written.clear();
        statusReads(row.b1, row.b2, row.b3, row.b4);
        link.ReadStatus();
        EXPECT_EQ(link.centerFreq, row.freq) << row.freq;
        EXPECT_EQ(comm.written.size(), 85);
        EXPECT_EQ(hex(comm.written.left(5)), "01 00 00 02 10");
        EXPECT_TRUE(link.freqHex.isEmpty());
    }
    EXPECT_EQ(link.rxBuffer[6], QByteArray("\xEE"));
    EXPECT_TRUE(link.rxBuffer[7].isEmpty());
    EXPECT_EQ(link.rxBuffer[21], QByteArray("\x04"));
}

TEST_F(Link, WindowEventsRunBeforeEachDecodedByteAndMayAbortTheDecode) {
    std::vector<QString> seen;
    size_t readsLeft = 99;
    bool fail = false;
    link.doEvents = [&] {
        if (seen.empty()) readsLeft = comm.script.size();
        seen.push_back(link.freqHex);
        if (fail && seen.size() == 3) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("nested"));
    };
    statusReads(0x01, 0x5B, 0xE6, 0x80);
    link.ReadStatus();
    EXPECT_EQ(readsLeft, 0u);  // all sixteen reads are done first
    EXPECT_EQ(seen, (std::vector<QString>{"", "01", "015B", "015BE6"}));
    // A handler run inside the decode fails: the next decode starts clean.
    seen.clear();
    fail = true;
    statusReads(0x01, 0x5B, 0xE6, 0x80);
    EXPECT_THROW(link.ReadStatus(), RuntimeError);
    EXPECT_TRUE(link.freqHex.isEmpty());
    link.doEvents = nullptr;
    statusReads(0x00, 0x6B, 0x6C, 0x00);
    link.ReadStatus();
    EXPECT_EQ(link.centerFreq, 440000);
}

TEST(PortTest, OpensClosesOpensAndLeavesThePortClosed) {
    // No failure, the first open, the second open, the close failing.
    for (int failing : {0, 1, 2, -1}) {
        ScriptedComm comm;
        if (failing > 0) comm.failingOpens = {failing};
        comm.failClose = failing < 0;
        RadioLink link(comm);
        EXPECT_EQ(link.PortTest(3), failing == 0) << failing;
        if (failing < 0) continue;
        // Every step still runs after a failure.
        EXPECT_EQ(comm.log, (Log{"port 3", "open", "close", "open", "close"}));
        EXPECT_FALSE(comm.portOpen());
        EXPECT_EQ(comm.commPort(), 3);
    }
    ScriptedComm comm;
    comm.failSetPort = true;
    RadioLink link(comm);
    EXPECT_THROW(link.PortTest(1), RuntimeError);  // a port that cannot be selected reaches the caller
    EXPECT_EQ(comm.log, (Log{"port 1"}));
}
