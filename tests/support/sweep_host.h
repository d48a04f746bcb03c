#pragma once
// The window as the scan sees it, recording what the scan does to it; the
// drawing goes to one recording surface a style.

#include "support/recording_surface.h"
#include "sweep/sweep.h"

#include <algorithm>
#include <functional>

class TestHost : public qv7m::SweepHost {
public:
    QString stepText() const override { return step; }
    int16_t styleIndex() const override { return style; }
    bool holding() const override { return hold; }
    double spanUnits() const override { return span; }
    void scanStarted() override { ++started; }
    void showWindow(const QString& low, const QString& centre, const QString& high) override {
        label = low + " " + centre + " " + high;
    }
    void showTuning(const QString& t) override { info = t; }
    void setSmeterWidth(double w) override { smeter.push_back(w); }
    qv7m::DrawingSurface& plot() override { return surfaces[std::clamp<int>(style, 0, 2)]; }
    void yieldToWindow() override {
        ++yields;
        if (onYield) onYield();
    }

    QString step = QStringLiteral("100"), info, label;
    int16_t style = 0;
    bool hold = false;
    int started = 0;
    double span = 1000;
    std::vector<double> smeter;
    qv7m::RecordingSurface surfaces[3];
    int yields = 0;
    std::function<void()> onYield;
};
