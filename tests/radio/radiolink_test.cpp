// The link's procedures against a scripted serial control: exact bytes out,
// exact values in.

#include "radio/radiolink.h"
#include "scripted_comm.h"

#include <gtest/gtest.h>

using namespace qv7m;
using qv7m::test::hex;
using qv7m::test::ScriptedComm;

namespace {

struct Link : ::testing::Test {
    ScriptedComm comm;
    RadioLink link{comm};

    void SetUp() override { comm.setPortOpen(true); comm.log.clear(); }

    std::string sendFrequency(int32_t f) {
        link.konvertiere(f);
        const size_t before = comm.outputs.size();
        link.Befehl(1);
        EXPECT_EQ(comm.outputs.size(), before + 1);
        return hex(comm.outputs.back());
    }
};

}  // namespace

TEST_F(Link, FixedCommandsSendTheirFramesInOneWrite) {
    link.Befehl(3);
    link.Befehl(4);
    ASSERT_EQ(comm.outputs.size(), 2u);
    EXPECT_EQ(hex(comm.outputs[0]), "00 00 00 01 83");
    EXPECT_EQ(hex(comm.outputs[1]), "00 00 00 00 85");
}

TEST_F(Link, UnknownCommandNumbersDoNothing) {
    link.konvertiere(1425000);
    const auto bcd = link.bcdBytes;
    for (int16_t n : {0, 2, 5, 6, 7, 8, 9, 12, -1, -32768, 32767}) link.Befehl(n);
    EXPECT_TRUE(comm.log.empty());
    EXPECT_TRUE(comm.portOpen());
    EXPECT_EQ(link.bcdBytes, bcd);
}

TEST_F(Link, OpenAndCloseCommands) {
    link.Befehl(10);
    EXPECT_FALSE(comm.portOpen());
    link.Befehl(11);
    EXPECT_TRUE(comm.portOpen());
    link.Befehl(10);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(comm.log, (std::vector<std::string>{"close", "open", "close"}));
    EXPECT_TRUE(comm.written.isEmpty());
}

TEST_F(Link, SetVfoBSendsWhatIsEncodedLeastSignificantPairFirst) {
    link.Befehl(1);  // nothing encoded yet
    EXPECT_EQ(hex(comm.outputs.back()), "00 00 00 00 8A");
    EXPECT_EQ(sendFrequency(1425000), "00 50 42 01 8A");
    EXPECT_EQ(sendFrequency(703500), "00 35 70 00 8A");
    EXPECT_EQ(sendFrequency(180000), "00 00 18 00 8A");
    EXPECT_EQ(sendFrequency(2999999), "99 99 99 02 8A");
    EXPECT_EQ(sendFrequency(100000), "00 00 10 00 8A");
    EXPECT_EQ(sendFrequency(9999999), "99 99 99 09 8A");
    EXPECT_EQ((std::array<int16_t, 5>{0, 0x09, 0x99, 0x99, 0x99}), link.bcdBytes);
}

TEST_F(Link, FrequenciesThatCannotBeEncodedRepeatThePreviousFrame) {
    EXPECT_EQ(sendFrequency(1425000), "00 50 42 01 8A");
    for (int32_t f : {99999, 10000000, 0, 5, -1, -50000, -123456, -1425000, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(sendFrequency(f), "00 50 42 01 8A");
    }
}

TEST(Hex2Dec, TheWholeTable) {
    EXPECT_EQ(RadioLink::Hex2Dec(""), 0);
    EXPECT_EQ(RadioLink::Hex2Dec("25"), 37);
    EXPECT_EQ(RadioLink::Hex2Dec("99"), 153);
    EXPECT_EQ(RadioLink::Hex2Dec("15BE68"), 1425000);
    EXPECT_EQ(RadioLink::Hex2Dec("ABC"), 2748);
    EXPECT_EQ(RadioLink::Hex2Dec("abc"), -273);
    EXPECT_EQ(RadioLink::Hex2Dec("ff"), -17);
    EXPECT_EQ(RadioLink::Hex2Dec("G"), -1);
    EXPECT_EQ(RadioLink::Hex2Dec("1G"), 15);
    EXPECT_EQ(RadioLink::Hex2Dec("7FFFFFFF"), 2147483647);
    EXPECT_EQ(RadioLink::Hex2Dec("00000000000000000000001"), 1);  // leading zeros weigh nothing
    EXPECT_EQ(RadioLink::Hex2Dec("-1"), 1 - 16);
}

TEST(Hex2Dec, OverflowIsAnErrorNotAWrap) {
    for (const char* text : {"80000000", "FFFFFFFF", "100000000", "G0000000000"}) {
        SCOPED_TRACE(text);
        try {
            RadioLink::Hex2Dec(text);
            FAIL() << "no overflow";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow);
        }
    }
    // Just inside the range on the negative side.
    EXPECT_EQ(RadioLink::Hex2Dec("GGGGGGGG"), -(0x11111111));
}

TEST_F(Link, MeterReadWritesThirtyBytesInOrderWhateverArrives) {
    comm.reads({0x12, 0x34, 0x56, 0x78, 0x9A});
    link.lesemeter();
    link.lesemeter();  // nothing arrives this time
    EXPECT_EQ(comm.written.size(), 60);
    const std::vector<std::string> one = {
        "out 01 00 00 00 F7", "in 12", "out 00 00 00 0F 0E", "in 34", "out 00 00 00 0F 0E", "in 56",
        "out 00 00 00 0F 0E", "in 78", "out 00 00 00 0F 0E", "in 9A", "out 00 00 00 0F 0E"};
    EXPECT_EQ(std::vector<std::string>(comm.log.begin(), comm.log.begin() + 11), one);
}

TEST_F(Link, MeterValueIsTheLastNonEmptyRead) {
    link.meterValue = -1;
    comm.reads({-1, 0x12, -1, 0x34, -1});
    link.lesemeter();
    EXPECT_EQ(link.meterValue, 52);
    EXPECT_EQ(link.rxBuffer[2], QByteArray("\x12"));
    EXPECT_TRUE(link.rxBuffer[5].isEmpty());

    comm.reads({-1, -1, 0x00, -1, -1});
    link.lesemeter();
    EXPECT_EQ(link.meterValue, 0);  // a zero byte counts

    comm.reads({0xF0, -1, -1, -1, 0xFF});
    link.lesemeter();
    EXPECT_EQ(link.meterValue, 255);  // unsigned, not -1
}

TEST_F(Link, NothingReceivedKeepsTheOldMeterValue) {
    link.meterValue = -1;
    link.lesemeter();
    EXPECT_EQ(link.meterValue, -1);
    link.meterValue = 77;
    link.lesemeter();
    EXPECT_EQ(link.meterValue, 77);
    for (int k = 1; k <= 5; ++k) EXPECT_TRUE(link.rxBuffer[k].isEmpty());
}

TEST_F(Link, ReadsNeedAnOpenLink) {
    link.Befehl(10);
    EXPECT_THROW(link.lesemeter(), RuntimeError);
    EXPECT_THROW(link.Befehl(3), RuntimeError);
}

namespace {
// Sixteen status reads with b1..b4 in reads 5 to 8 and noise elsewhere.
void statusReads(ScriptedComm& comm, int b1, int b2, int b3, int b4) {
    comm.reads({0xEE, -1, 0x10, 0x00, b1, b2, b3, b4, 0xAA, 0x55, -1, 0xFF, 0x01, 0x02, 0x03, 0x04});
}
}  // namespace

TEST_F(Link, StatusReadWrites85BytesAndDecodesReadsFiveToEight) {
    struct Row {
        int b1, b2, b3, b4;
        int32_t freq;
    };
    const Row rows[] = {{0x01, 0x5B, 0xE6, 0x80, 1425000},
                        {0x00, 0x6B, 0x6C, 0x00, 440000},
                        {0x12, 0x34, 0x56, 0x78, 2311527},
                        {0xFF, 0xFF, 0xFF, 0xFF, 16777215},
                        {-1, -1, -1, -1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.freq);
        comm.written.clear();
        statusReads(comm, row.b1, row.b2, row.b3, row.b4);
        link.ReadStatus();
        EXPECT_EQ(link.centerFreq, row.freq);
        EXPECT_EQ(comm.written.size(), 85);
        EXPECT_EQ(hex(comm.written.left(5)), "01 00 00 02 10");
        EXPECT_TRUE(link.freqHex.isEmpty());
    }
    EXPECT_EQ(link.rxBuffer[6], QByteArray("\xEE"));
    EXPECT_TRUE(link.rxBuffer[7].isEmpty());
    EXPECT_EQ(link.rxBuffer[21], QByteArray("\x04"));
}

TEST_F(Link, NothingReceivedReadsAsFrequencyZero) {
    link.ReadStatus();
    EXPECT_EQ(link.centerFreq, 0);
    EXPECT_EQ(comm.written.size(), 85);
}

TEST_F(Link, WindowEventsRunBeforeEachOfTheFourDecodedBytes) {
    statusReads(comm, 0x01, 0x5B, 0xE6, 0x80);
    std::vector<QString> seen;
    size_t readsBeforeFirst = 0;
    link.doEvents = [&] {
        if (seen.empty()) readsBeforeFirst = comm.script.size();
        seen.push_back(link.freqHex);
    };
    link.ReadStatus();
    EXPECT_EQ(readsBeforeFirst, 0u);  // all sixteen reads are done first
    EXPECT_EQ(seen, (std::vector<QString>{"", "01", "015B", "015BE6"}));
    EXPECT_EQ(link.centerFreq, 1425000);
}

TEST_F(Link, AnAbortedDecodeDoesNotSpoilTheNext) {
    statusReads(comm, 0x01, 0x5B, 0xE6, 0x80);
    int calls = 0;
    link.doEvents = [&] {
        if (++calls == 3) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("nested handler failed"));
    };
    EXPECT_THROW(link.ReadStatus(), RuntimeError);
    EXPECT_TRUE(link.freqHex.isEmpty());
    link.doEvents = nullptr;
    statusReads(comm, 0x00, 0x6B, 0x6C, 0x00);
    link.ReadStatus();
    EXPECT_EQ(link.centerFreq, 440000);
}

TEST_F(Link, BitsAndHexDigits) {
    link.bitString = "x";
    link.ByteToBits(QByteArray("\xA5"));
    EXPECT_EQ(link.bitString, "x10100101");  // appends, does not clear
    link.bitString.clear();
    link.ByteToBits(QByteArray());
    link.ByteToBits(QByteArray("\xFF\x01"));  // only the first character counts
    link.ByteToBits(QByteArray(1, '\0'));
    EXPECT_EQ(link.bitString, "000000001111111100000000");

    link.hexDigits.clear();
    for (const char* bits : {"1010", "0101", "0000", "1111", "1001", "0111"}) link.BitsToHex(bits);
    EXPECT_EQ(link.hexDigits, "A50F97");
}

TEST(PortTest, OpensClosesOpensAndLeavesThePortClosed) {
    ScriptedComm comm;
    RadioLink link(comm);
    const int16_t n = 3;
    EXPECT_TRUE(link.PortTest(n));
    EXPECT_EQ(comm.log, (std::vector<std::string>{"port 3", "open", "close", "open", "close"}));
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(comm.commPort(), 3);
    EXPECT_TRUE(comm.written.isEmpty());
}

TEST(PortTest, AnyFailingStepMeansNotUsable) {
    for (int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        ScriptedComm comm;
        comm.failingOpens = {failing};
        RadioLink link(comm);
        EXPECT_FALSE(link.PortTest(2));
        // Every step still runs after a failure.
        EXPECT_EQ(comm.log, (std::vector<std::string>{"port 2", "open", "close", "open", "close"}));
        EXPECT_FALSE(comm.portOpen());
        EXPECT_EQ(comm.commPort(), 2);
    }
    ScriptedComm comm;
    comm.failClose = true;
    RadioLink link(comm);
    EXPECT_FALSE(link.PortTest(4));
}

TEST(PortTest, AFailureToSelectThePortReachesTheCaller) {
    ScriptedComm comm;
    comm.failSetPort = true;
    RadioLink link(comm);
    EXPECT_THROW(link.PortTest(1), RuntimeError);
    EXPECT_EQ(comm.log, (std::vector<std::string>{"port 1"}));
}

TEST(Sleep, GoesThroughTheControl) {
    ScriptedComm comm;
    RadioLink link(comm);
    link.Sleep(10);
    EXPECT_EQ(comm.log, (std::vector<std::string>{"sleep 10"}));
}
