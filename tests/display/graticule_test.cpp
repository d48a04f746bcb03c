#include "core/runtime_error.h"
#include "display/graticule.h"
#include "display/recordingsurface.h"

#include <gtest/gtest.h>

using namespace qv7m;

namespace {
struct Boxes {
    RecordingSurface picture1{8000, 2550}, picture2{8000, 150};
    double spanUnits = -7;
};

std::vector<DrawCall> graphPlot() {
    std::vector<DrawCall> want{DrawCall::line(4000, 0, 4000, 2550, RGB(100, 100, 100))};
    for (float y : {2380, 2040, 1700, 1360, 1020, 680, 340}) want.push_back(DrawCall::line(0, y, 8000, y, RGB(80, 80, 80)));
    const char* labels[] = {" S 1", " S 3", " S 5", " S 7", " S 9", "+20dB", "+40dB"};
    for (int k = 0; k < 7; ++k) want.push_back(DrawCall::print(labels[k], k == 0 ? 10 : 0, 2280 - 340 * k));
    return want;
}
}  // namespace

TEST(Graticule, MarksOnePerKilohertzWithBothEndsAndTheStylesPlot) {
    const struct {
        const char* text;
        int16_t style;
        double span;
        size_t marks;
        float spacing;
    } cases[] = {{"10", 0, 1000, 11, 800}, {"80", 1, 8000, 81, 100}, {" 20.9 ", -1, 2000, 21, 400},  // whole kHz only
                 {"8000", 2, 800000, 8001, 1},  // still drawable: a mark every twip
                 {"-10", 3, -1000, 0, 0}};      // counts away from the bound: no marks, and no endless loop
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Boxes b;
        b.picture1.setLineHeight(5000);  // the line advance must not move the labels
        paintGraticule(b.picture1, b.picture2, c.text, c.style, b.spanUnits);
        EXPECT_EQ(b.spanUnits, c.span);
        const auto marks = b.picture2.calls();
        ASSERT_EQ(marks.size(), c.marks);
        for (size_t k = 0; k < marks.size(); ++k)
            ASSERT_EQ(marks[k], DrawCall::line(k * c.spacing, 0, k * c.spacing, 150, RGB(255, 255, 255))) << k;
        // No Cls: drawing is additive. Waterfall (and above) draws only the centre line.
        EXPECT_EQ(b.picture1.drawing(), c.style < 2 ? graphPlot() : std::vector<DrawCall>{graphPlot()[0]});
    }
}

TEST(Graticule, ClickHandlersClearOnlyTheirOwnBox) {
    Boxes w, s;
    disClick(w.picture1, w.picture2, "10", 0, w.spanUnits);
    EXPECT_EQ(w.picture2.calls().size(), 12u);  // Cls and 11 marks
    EXPECT_EQ(w.picture2.calls().front(), DrawCall::cls());
    EXPECT_EQ(w.picture1.drawing(), graphPlot());
    styleClick(s.picture1, s.picture2, "10", 2, s.spanUnits);
    EXPECT_EQ(s.picture1.calls(), (std::vector<DrawCall>{DrawCall::cls(), graphPlot()[0]}));
    EXPECT_EQ(s.picture2.calls().size(), 11u);
}

TEST(Graticule, BadWidthTextsRaiseBeforeDrawingAnything) {
    using E = RuntimeError::Kind;
    const struct {
        const char* text;
        E kind;
        double spanAfter;
    } cases[] = {{"10kHz", E::TypeMismatch, -7}, {"0.99", E::DivisionByZero, 0},
                 {"1e307", E::Overflow, -7},   // only the span overflows
                 {"1e12", E::Overflow, 1e14}};  // marks closer than a twip: refused, not hung
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Boxes b;
        try {
            paintGraticule(b.picture1, b.picture2, c.text, 0, b.spanUnits);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), c.kind) << e.message().toStdString();
        }
        EXPECT_TRUE(b.picture1.calls().empty() && b.picture2.calls().empty());
        EXPECT_EQ(b.spanUnits, c.spanAfter);
    }
}
