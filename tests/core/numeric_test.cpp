#include "core/numeric.h"
#include "core/runtime_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

using namespace qv7m;
using Kind = RuntimeError::Kind;

namespace {
std::optional<Kind> raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.kind();
    }
    return std::nullopt;
}
}  // namespace

TEST(Numeric, RoundsToNearestWithTiesToEven) {
    const double in[] = {1424500.0, 0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 2.4999999, 2147483647.0, -2147483648.0};
    const int32_t out[] = {1424500, 0, 2, 2, 0, -2, -2, 2, 2147483647, -2147483647 - 1};
    for (size_t k = 0; k < std::size(in); ++k) EXPECT_EQ(toInt32(in[k]), out[k]) << in[k];
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(-32768.0), -32768);
    EXPECT_EQ(addInt32(2147483637, 10), 2147483647);
}

TEST(Numeric, OutOfRangeIsAnOverflowNotAWrap) {
    const std::function<void()> cases[] = {
        [] { toInt32(2147483647.5); },  // ties to even: 2147483648
        [] { toInt32(1e300); }, [] { toInt32(std::nan("")); }, [] { toInt16(32767.5); }, [] { toInt16(-32769.0); },
        [] { addInt32(2147483647, 1); }, [] { addInt32(-2147483647 - 1, -1); }, [] { toDouble(QStringLiteral("1e999")); }};
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(raised(cases[k]), Kind::Overflow) << k;
}

TEST(Numeric, TextToNumber) {
    EXPECT_EQ(toDouble(QStringLiteral(" 2 ")), 2.0);
    EXPECT_EQ(toDouble(QStringLiteral("-1")), -1.0);
    EXPECT_EQ(toDouble(QStringLiteral("0.5")), 0.5);
    for (const char* bad : {"", "   ", "abc", "10kHz", "\x01\x02", "nan", "inf", "-inf"})
        EXPECT_EQ(raised([&] { toDouble(QString::fromLatin1(bad)); }), Kind::TypeMismatch) << bad;
    EXPECT_EQ(intPart(2.9), 2.0);
    EXPECT_EQ(intPart(-0.5), -1.0);
}
