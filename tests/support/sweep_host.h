#pragma once
// The window as the scan sees it, recording what the scan does to it; the
// drawing goes to one recording surface a style.

#include "display/recordingsurface.h"
#include "sweep/sweep.h"

#include <algorithm>
#include <functional>

class TestHost : public qv7m::SweepHost {
public:
    QString stepText() const override { return step; }
    int16_t styleIndex() const override { return style; }
    int16_t holdValue() const override { return hold; }
    double spanUnits() const override { return span; }
    void setEnabled(Control c, bool e) override { enabled.emplace_back(c, e); }
    void setCaption(Label l, const QString& t) override { (l == Label::info ? info : label) = t; }
    void setSmeterWidth(double w) override { smeter.push_back(w); }
    qv7m::DrawingSurface& picture1() override { return surfaces[std::clamp<int>(style, 0, 2)]; }
    void doEvents() override {
        ++yields;
        if (onYield) onYield();
    }

    QString step = QStringLiteral("100"), info, label;
    int16_t style = 0, hold = 0;
    double span = 1000;
    std::vector<std::pair<Control, bool>> enabled;
    std::vector<double> smeter;
    qv7m::RecordingSurface surfaces[3];
    int yields = 0;
    std::function<void()> onYield;
};
