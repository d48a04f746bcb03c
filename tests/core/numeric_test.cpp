#include "core/numeric.h"
#include "core/runtime_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace qv7m;
using Kind = RuntimeError::Kind;

static Kind raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.kind();
    }
    return Kind(-1);
}

TEST(Numeric, RoundsTiesToEvenAndOverflowsInsteadOfWrapping) {
    const std::pair<double, int32_t> rounded[] = {{0.5, 0},         {1.5, 2},        {2.5, 2},
                                                  {-2.5, -2},       {2.4999999, 2},  {2147483647.0, 2147483647},
                                                  {-2147483648.0, -2147483647 - 1}};
    for (const auto& [in, out] : rounded) EXPECT_EQ(toInt32(in), out) << in;
    EXPECT_EQ(toInt16(-32768.0), -32768);
    EXPECT_EQ(addInt32(2147483637, 10), 2147483647);
    const std::function<void()> overflows[] = {
        [] { toInt32(2147483647.5); },  // ties to even: 2147483648
        [] { toInt32(std::nan("")); }, [] { toInt16(32767.5); }, [] { toInt16(-32769.0); },
        [] { addInt32(2147483647, 1); }, [] { addInt32(-2147483647 - 1, -1); },
        [] { toDouble(QStringLiteral("1e999")); }};
    for (size_t k = 0; k < std::size(overflows); ++k) EXPECT_EQ(raised(overflows[k]), Kind::Overflow) << k;
}

TEST(Numeric, TextToNumber) {
    EXPECT_EQ(toDouble(QStringLiteral(" -0.5 ")), -0.5);
    EXPECT_EQ(intPart(-0.5), -1.0);  // the floor, not the truncation
    for (const char* bad : {"", "   ", "10kHz", "nan", "-inf"})
        EXPECT_EQ(raised([&] { toDouble(QString::fromLatin1(bad)); }), Kind::TypeMismatch) << bad;
}
