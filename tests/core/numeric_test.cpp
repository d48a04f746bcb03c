#include "core/numeric.h"
#include "core/runtime_error.h"

#include <gtest/gtest.h>

using namespace qv7m;

TEST(Numeric, RoundsToNearestWithTiesToEven) {
    EXPECT_EQ(toInt32(1424500.0), 1424500);
    EXPECT_EQ(toInt32(0.5), 0);
    EXPECT_EQ(toInt32(1.5), 2);
    EXPECT_EQ(toInt32(2.5), 2);
    EXPECT_EQ(toInt32(-0.5), 0);
    EXPECT_EQ(toInt32(-1.5), -2);
    EXPECT_EQ(toInt32(-2.5), -2);
    EXPECT_EQ(toInt32(2.4999999), 2);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(-32768.0), -32768);
}

TEST(Numeric, OutOfRangeIsAnOverflowNotAWrap) {
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_EQ(toInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_THROW(toInt32(2147483647.5), RuntimeError);  // ties to even: 2147483648
    EXPECT_THROW(toInt32(1e300), RuntimeError);
    EXPECT_THROW(toInt32(std::nan("")), RuntimeError);
    EXPECT_THROW(toInt16(32767.5), RuntimeError);
    EXPECT_THROW(toInt16(-32769.0), RuntimeError);
    EXPECT_EQ(addInt32(2147483637, 10), 2147483647);
    try {
        addInt32(2147483647, 1);
        FAIL() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow);
    }
    EXPECT_THROW(addInt32(-2147483647 - 1, -1), RuntimeError);
}

TEST(Numeric, TextToNumber) {
    EXPECT_DOUBLE_EQ(toDouble(QStringLiteral("10")), 10.0);
    EXPECT_DOUBLE_EQ(toDouble(QStringLiteral(" 2 ")), 2.0);
    EXPECT_DOUBLE_EQ(toDouble(QStringLiteral("-1")), -1.0);
    EXPECT_DOUBLE_EQ(toDouble(QStringLiteral("0.5")), 0.5);
    for (const char* bad : {"", "   ", "abc", "10kHz", "\x01\x02", "nan", "inf", "-inf"}) {
        try {
            toDouble(QString::fromLatin1(bad));
            FAIL() << "accepted " << bad;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), RuntimeError::Kind::TypeMismatch) << bad;
        }
    }
    try {
        toDouble(QStringLiteral("1e999"));
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Overflow);
    }
    EXPECT_EQ(intPart(2.9), 2.0);
    EXPECT_EQ(intPart(-0.5), -1.0);
}
