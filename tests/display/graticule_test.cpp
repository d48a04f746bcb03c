#include "core/runtime_error.h"
#include "display/graticule.h"
#include "display/recordingsurface.h"

#include <gtest/gtest.h>

using namespace qv7m;
using K = DrawCall::Kind;

namespace {
struct Boxes {
    RecordingSurface picture1{8000, 2550};
    RecordingSurface picture2{8000, 150};
    double spanUnits = -7;
};

std::vector<DrawCall> graphPlot() {
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
    const struct {
        const char* text;
        double span;
        size_t marks;
        float spacing;
    } cases[] = {{"10", 1000, 11, 800}, {"80", 8000, 81, 100}, {" 20.9 ", 2000, 21, 400}, {"1.5", 100, 2, 8000},
                 {"8000", 800000, 8001, 1},  // still drawable: a mark every twip
                 {"-10", -1000, 0, 0}};      // counts away from the bound: no marks, and no endless loop
    for (const auto& c : cases) {  // "20.9" and "1.5": only the whole kHz count
        SCOPED_TRACE(c.text);
        Boxes b;
        paintGraticule(b.picture1, b.picture2, c.text, 0, b.spanUnits);
        EXPECT_EQ(b.spanUnits, c.span);
        const auto marks = b.picture2.calls();
        ASSERT_EQ(marks.size(), c.marks);
        for (size_t k = 0; k < marks.size(); ++k)
            ASSERT_EQ(marks[k], DrawCall::line(k * c.spacing, 0, k * c.spacing, 150, RGB(255, 255, 255))) << k;
        EXPECT_EQ(b.picture1.drawing(), graphPlot());
    }
}

TEST(Graticule, GraphStylesAndNoSelectionDrawGridAndLabelsWaterfallOnlyTheCentreLine) {
    for (int16_t style : {-1, 0, 1, 2, 3}) {
        SCOPED_TRACE(style);
        Boxes b;
        b.picture1.setLineHeight(5000);  // the line advance must not move the labels
        paintGraticule(b.picture1, b.picture2, "20", style, b.spanUnits);
        // No Cls: drawing is additive.
        EXPECT_EQ(b.picture1.drawing(), style < 2 ? graphPlot() : std::vector<DrawCall>{graphPlot()[0]});
        EXPECT_EQ(b.picture2.calls().size(), 21u);  // the strip is the same in every style
    }
}

TEST(Graticule, ClickHandlersClearOnlyTheirOwnBox) {
    Boxes w;
    disClick(w.picture1, w.picture2, "10", 0, w.spanUnits);
    EXPECT_EQ(w.picture2.calls().front(), DrawCall::cls());
    EXPECT_EQ(w.picture2.calls(K::Cls).size(), 1u);
    EXPECT_EQ(w.picture2.calls().size(), 12u);  // Cls and 11 marks
    EXPECT_EQ(w.picture1.drawing(), graphPlot());

    Boxes s;
    styleClick(s.picture1, s.picture2, "10", 2, s.spanUnits);
    EXPECT_EQ(s.picture1.calls(), (std::vector<DrawCall>{DrawCall::cls(), graphPlot()[0]}));
    EXPECT_EQ(s.picture2.calls(K::Cls).size(), 0u);
    EXPECT_EQ(s.picture2.calls().size(), 11u);
}

TEST(Graticule, BadWidthTextsRaiseBeforeDrawingAnythingAndAGoodOneRepairs) {
    using E = RuntimeError::Kind;
    const struct {
        const char* text;
        E kind;
        double spanAfter;
    } cases[] = {
        {"10kHz", E::TypeMismatch, -7}, {"0", E::DivisionByZero, 0}, {"0.99", E::DivisionByZero, 0},
        {"1e307", E::Overflow, -7},  // only the span overflows
        {"1e12", E::Overflow, 1e14},  // marks closer than a twip: refused, not hung
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Boxes b;
        try {
            paintGraticule(b.picture1, b.picture2, c.text, 0, b.spanUnits);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.message().toStdString();
        }
        EXPECT_TRUE(b.picture1.calls().empty());
        EXPECT_TRUE(b.picture2.calls().empty());
        EXPECT_EQ(b.spanUnits, c.spanAfter);
    }
    Boxes b;
    EXPECT_THROW(disClick(b.picture1, b.picture2, "0.5", 0, b.spanUnits), RuntimeError);
    EXPECT_EQ(b.picture2.calls(), std::vector<DrawCall>{DrawCall::cls()});
    b.picture2.clear();
    disClick(b.picture1, b.picture2, "20", 0, b.spanUnits);
    EXPECT_EQ(b.spanUnits, 2000);
    EXPECT_EQ(b.picture2.calls().size(), 22u);
    EXPECT_EQ(b.picture1.drawing(), graphPlot());
}
