#include "core/runtime_error.h"
#include "display/graticule.h"
#include "display/recordingsurface.h"

#include <gtest/gtest.h>

using namespace qv7m;
using K = DrawCall::Kind;

namespace {

constexpr OleColor kWhite = RGB(255, 255, 255);

struct Boxes {
    RecordingSurface picture1{8000, 2550};
    RecordingSurface picture2{8000, 150};
    double spanUnits = -7;
};

std::vector<DrawCall> expectedGraphPlot() {
    std::vector<DrawCall> want{DrawCall::line(4000, 0, 4000, 2550, RGB(100, 100, 100))};
    for (float y : {2380, 2040, 1700, 1360, 1020, 680, 340})
        want.push_back(DrawCall::line(0, y, 8000, y, RGB(80, 80, 80)));
    const char* labels[] = {" S 1", " S 3", " S 5", " S 7", " S 9", "+20dB", "+40dB"};
    const float tops[] = {2280, 1940, 1600, 1260, 920, 580, 240};
    for (int k = 0; k < 7; ++k) want.push_back(DrawCall::print(labels[k], k == 0 ? 10 : 0, tops[k]));
    return want;
}

}  // namespace

TEST(Graticule, MarksOnePerKilohertzWithBothEnds) {
    struct Case {
        const char* text;
        double span;
        int marks;
        float spacing;
    };
    for (const Case& c : {Case{"10", 1000, 11, 800}, Case{"20", 2000, 21, 400}, Case{"40", 4000, 41, 200},
                          Case{"80", 8000, 81, 100}}) {
        SCOPED_TRACE(c.text);
        Boxes b;
        paintGraticule(b.picture1, b.picture2, c.text, 0, b.spanUnits);
        EXPECT_EQ(b.spanUnits, c.span);
        const auto marks = b.picture2.calls();
        ASSERT_EQ(marks.size(), size_t(c.marks));
        for (size_t k = 0; k < marks.size(); ++k)
            ASSERT_EQ(marks[k], DrawCall::line(k * c.spacing, 0, k * c.spacing, 150, kWhite)) << k;
        EXPECT_EQ(marks.back().x1, 8000.0f);  // the right edge itself
    }
}

TEST(Graticule, SpanIsTheWholeKilohertzOfTheText) {
    Boxes b;
    paintGraticule(b.picture1, b.picture2, QStringLiteral(" 20.9 "), 0, b.spanUnits);
    EXPECT_EQ(b.spanUnits, 2000);
    EXPECT_EQ(b.picture2.calls().size(), 21u);
    // 1.5 kHz: one mark a 1000-Hz step of the 8000-twip strip, i.e. both ends.
    Boxes c;
    paintGraticule(c.picture1, c.picture2, QStringLiteral("1.5"), 0, c.spanUnits);
    EXPECT_EQ(c.spanUnits, 100);
    ASSERT_EQ(c.picture2.calls().size(), 2u);
    EXPECT_EQ(c.picture2.calls()[1].x1, 8000.0f);
}

TEST(Graticule, MarksFollowTheStripSize) {
    // Spacing from the strip's width, length from its height.
    Boxes b;
    b.picture2.setWidth(6000);
    b.picture2.setHeight(120);
    paintGraticule(b.picture1, b.picture2, "10", 0, b.spanUnits);
    const auto marks = b.picture2.calls();
    ASSERT_EQ(marks.size(), 11u);
    EXPECT_EQ(marks[1].x1, 600.0f);
    EXPECT_EQ(marks.back().x1, 6000.0f);
    EXPECT_EQ(marks.back().y2, 120.0f);
}

TEST(Graticule, GraphStylesAndNoSelectionDrawGridAndLabels) {
    for (int16_t style : {int16_t(-1), int16_t(0), int16_t(1)}) {
        SCOPED_TRACE(style);
        Boxes b;
        b.picture1.setLineHeight(5000);  // the line advance must not move the labels
        paintGraticule(b.picture1, b.picture2, "20", style, b.spanUnits);
        EXPECT_EQ(b.picture1.drawing(), expectedGraphPlot());
        // CurrentX is set once, CurrentY before every label.
        EXPECT_EQ(b.picture1.calls(K::SetCurrentX).size(), 1u);
        EXPECT_EQ(b.picture1.calls(K::SetCurrentY).size(), 7u);
        EXPECT_EQ(b.picture1.calls(K::Cls).size(), 0u);  // drawing is additive
    }
}

TEST(Graticule, WaterfallDrawsOnlyTheCentreLine) {
    for (int16_t style : {int16_t(2), int16_t(3)}) {
        Boxes b;
        paintGraticule(b.picture1, b.picture2, "40", style, b.spanUnits);
        ASSERT_EQ(b.picture1.calls().size(), 1u) << style;
        EXPECT_EQ(b.picture1.calls()[0], DrawCall::line(4000, 0, 4000, 2550, RGB(100, 100, 100)));
        EXPECT_EQ(b.picture2.calls().size(), 41u);  // the strip is the same in every style
    }
}

TEST(Graticule, GridFollowsTheBoxHeight) {
    Boxes b;
    b.picture1.setHeight(3000);
    b.picture1.setWidth(6000);
    paintGraticule(b.picture1, b.picture2, "10", 1, b.spanUnits);
    const auto lines = b.picture1.calls(K::Line);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], DrawCall::line(3000, 0, 3000, 3000, RGB(100, 100, 100)));
    EXPECT_EQ(lines[1], DrawCall::line(0, 2800, 6000, 2800, RGB(80, 80, 80)));
    EXPECT_EQ(lines[7], DrawCall::line(0, 400, 6000, 400, RGB(80, 80, 80)));
    EXPECT_EQ(b.picture1.calls(K::Print).front().currentY, 2700.0f);
}

TEST(Graticule, RepeatedPaintsDrawTheSameAgain) {
    Boxes b;
    paintGraticule(b.picture1, b.picture2, "80", 0, b.spanUnits);
    const auto once1 = b.picture1.drawing();
    const auto once2 = b.picture2.drawing();
    paintGraticule(b.picture1, b.picture2, "80", 0, b.spanUnits);
    auto twice1 = once1;
    twice1.insert(twice1.end(), once1.begin(), once1.end());
    auto twice2 = once2;
    twice2.insert(twice2.end(), once2.begin(), once2.end());
    EXPECT_EQ(b.picture1.drawing(), twice1);
    EXPECT_EQ(b.picture2.drawing(), twice2);
}

TEST(Graticule, ClickHandlersClearOnlyTheirOwnBox) {
    Boxes w;
    disClick(w.picture1, w.picture2, "10", 0, w.spanUnits);
    EXPECT_EQ(w.picture2.calls().front(), DrawCall::cls());
    EXPECT_EQ(w.picture2.calls(K::Cls).size(), 1u);
    EXPECT_EQ(w.picture2.calls().size(), 12u);  // Cls and 11 marks
    EXPECT_EQ(w.picture1.calls(K::Cls).size(), 0u);
    EXPECT_EQ(w.picture1.drawing(), expectedGraphPlot());

    Boxes s;
    styleClick(s.picture1, s.picture2, "10", 2, s.spanUnits);
    ASSERT_EQ(s.picture1.calls().size(), 2u);
    EXPECT_EQ(s.picture1.calls()[0], DrawCall::cls());
    EXPECT_EQ(s.picture1.calls()[1].kind, K::Line);
    EXPECT_EQ(s.picture2.calls(K::Cls).size(), 0u);
    EXPECT_EQ(s.picture2.calls().size(), 11u);
    EXPECT_EQ(s.spanUnits, 1000);
}

namespace {
void expectError(const QString& text, RuntimeError::Kind kind, double spanAfter) {
    SCOPED_TRACE(text.toStdString());
    Boxes b;
    try {
        paintGraticule(b.picture1, b.picture2, text, 0, b.spanUnits);
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), kind) << e.message().toStdString();
        EXPECT_FALSE(e.message().isEmpty());
    }
    EXPECT_TRUE(b.picture1.calls().empty());
    EXPECT_TRUE(b.picture2.calls().empty());
    if (std::isnan(spanAfter))
        EXPECT_EQ(b.spanUnits, -7);  // untouched
    else
        EXPECT_EQ(b.spanUnits, spanAfter);
}
}  // namespace

TEST(Graticule, BadWidthTextsRaiseBeforeDrawingAnything) {
    const double untouched = std::nan("");
    expectError(QString(), RuntimeError::Kind::TypeMismatch, untouched);
    expectError(QStringLiteral("   "), RuntimeError::Kind::TypeMismatch, untouched);
    expectError(QStringLiteral("ten"), RuntimeError::Kind::TypeMismatch, untouched);
    expectError(QStringLiteral("10kHz"), RuntimeError::Kind::TypeMismatch, untouched);
    expectError(QStringLiteral("nan"), RuntimeError::Kind::TypeMismatch, untouched);
    expectError(QStringLiteral("0"), RuntimeError::Kind::DivisionByZero, 0);
    expectError(QStringLiteral("0.99"), RuntimeError::Kind::DivisionByZero, 0);
    expectError(QStringLiteral("1e400"), RuntimeError::Kind::Overflow, untouched);
    expectError(QStringLiteral("1e307"), RuntimeError::Kind::Overflow, untouched);  // times 100
    // Marks closer than a twip: would be billions of lines; refused up front.
    expectError(QStringLiteral("1e12"), RuntimeError::Kind::Overflow, 1e14);
}

TEST(Graticule, ChoosingAWidthRepairsAFailedOne) {
    Boxes b;
    EXPECT_THROW(disClick(b.picture1, b.picture2, "0.5", 0, b.spanUnits), RuntimeError);
    EXPECT_EQ(b.picture2.calls().size(), 1u);  // only cleared
    b.picture1.clear();
    b.picture2.clear();
    disClick(b.picture1, b.picture2, "20", 0, b.spanUnits);
    EXPECT_EQ(b.spanUnits, 2000);
    EXPECT_EQ(b.picture2.calls().size(), 22u);
    EXPECT_EQ(b.picture1.drawing(), expectedGraphPlot());
}

TEST(Graticule, NegativeWidthDrawsNoMarksAndDoesNotHang) {
    Boxes b;
    paintGraticule(b.picture1, b.picture2, "-10", 0, b.spanUnits);
    EXPECT_EQ(b.spanUnits, -1000);
    EXPECT_TRUE(b.picture2.calls().empty());
    EXPECT_EQ(b.picture1.drawing(), expectedGraphPlot());
}

TEST(Graticule, LargeButDrawableWidth) {
    // 8000 kHz on 8000 twips: one mark a twip, still drawn.
    Boxes b;
    paintGraticule(b.picture1, b.picture2, "8000", 0, b.spanUnits);
    EXPECT_EQ(b.picture2.calls().size(), 8001u);
}
