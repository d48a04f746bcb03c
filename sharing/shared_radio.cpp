// SPDX-License-Identifier: GPL-3.0-or-later
#include "sharing/shared_radio.h"

#include "core/runtime_error.h"
#include "display/levels.h"
#include "radio/cat_codec.h"

#include <cmath>

namespace qv7m {

namespace {

// A status or VFO-A meter reading this young answers clients without the radio.
constexpr qint64 kStatusFreshMs = 1000;

}  // namespace

bool SharedRadio::available() { return worker_.scanning() || worker_.radioAnswers(); }

bool SharedRadio::use(const std::function<void()>& op) {
    try {
        worker_.withRadio(op);
        return true;
    } catch (const RuntimeError&) {
        // The client gets an I/O error; a scan finds the fault at its next read.
        return false;
    }
}

bool SharedRadio::freshStatus() {
    auto fresh = [this] { return link_.statusAgeMs() >= 0 && link_.statusAgeMs() <= kStatusFreshMs; };
    if (fresh()) return true;
    return use([this] { link_.readStatusAtOnce(); }) && fresh();
}

std::optional<int64_t> SharedRadio::frequencyHz() {
    if (!freshStatus()) return std::nullopt;
    return int64_t(link_.centre()) * 10;
}

bool SharedRadio::setFrequencyHz(int64_t hz) {
    bool tuned = false;
    if (!use([&] { tuned = link_.tuneVfoA(int32_t(hz / 10)); })) return false;
    // The next question about the frequency goes to the radio.
    link_.forgetStatus();
    return tuned;
}

std::optional<QString> SharedRadio::mode() {
    if (!freshStatus() || !link_.lastMode()) return std::nullopt;
    const char* name = cat::modeName(*link_.lastMode());
    if (!name) return std::nullopt;
    return QString::fromLatin1(name);
}

std::optional<int> SharedRadio::strengthDb() {
    // The operator's receiver, not the scan's VFO-B; clients asking in the
    // same second share one reading.
    if (!mainMeterTimer_.isValid() || mainMeterTimer_.elapsed() > kStatusFreshMs) {
        int16_t reading = -1;
        if (!use([&] { reading = link_.readMainMeter(); })) return std::nullopt;
        mainMeter_ = reading;
        mainMeterTimer_.start();
    }
    if (mainMeter_ < 0) return std::nullopt;
    return strengthDbOf(mainMeter_);
}

int SharedRadio::strengthDbOf(int reading) { return int(std::lround(dbOverS9(reading))); }

}  // namespace qv7m
