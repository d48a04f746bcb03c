#pragma once
// The window as the scan sees it: the lists' texts, "Hold scan", and a
// recording plot; `onYield` runs where the window would run its events.

#include "recording_surface.h"
#include "sweep/sweep.h"

#include <functional>

class TestHost : public qv7m::SweepHost {
public:
    QString stepText() const override { return step; }
    int16_t styleIndex() const override { return style; }
    bool holding() const override { return hold; }
    double spanUnits() const override { return span; }
    void scanStarted() override {}
    void showWindow(const QString&, const QString& centre, const QString&) override { centreText = centre; }
    void showTuning(const QString&) override {}
    void setSmeterWidth(double w) override { smeter = w; }
    qv7m::DrawingSurface& plot() override { return surface; }
    void yieldToWindow() override {
        if (onYield) onYield();
    }

    QString step = QStringLiteral("100"), centreText;
    int16_t style = 0;
    bool hold = false;
    double span = 1000, smeter = -1;
    qv7m::RecordingSurface surface;
    std::function<void()> onYield;
};
