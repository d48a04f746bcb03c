// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The radio as the scan shares it with network clients: each request runs on
// the scan's thread, between two sweep steps while a scan runs, or on its own
// when the scope is idle with an answering radio (the port opened for it and
// closed again).

#include "sharing/rigctl_protocol.h"
#include "sweep/scan_worker.h"

#include <QElapsedTimer>
#include <functional>

namespace qv7m {

class SharedRadio : public RigAccess {
public:
    explicit SharedRadio(ScanWorker& worker) : worker_(worker), link_(worker.radio()) {}

    bool available() override;
    std::optional<int64_t> frequencyHz() override;
    bool setFrequencyHz(int64_t hz) override;
    std::optional<QString> mode() override;
    std::optional<int> strengthDb() override;

    // A meter reading in dB relative to S9, on the scale the plot's grid draws:
    // 17 counts an S unit (6 dB) up to S9 at 153, then 17 counts to 10 dB.
    static int strengthDbOf(int reading);

private:
    // Runs op on the radio, opening the port around it when no scan holds it
    // open; false when the port failed.
    bool use(const std::function<void()>& op);
    // The status no older than a second (the sweep's own, or a client's),
    // read anew as one answer at pacing 0 when it is older.
    bool freshStatus();

    ScanWorker& worker_;
    RadioLink& link_;
    // VFO-A's last meter reading, and when it was read.
    int16_t mainMeter_ = -1;
    QElapsedTimer mainMeterTimer_;
};

}  // namespace qv7m
