// SPDX-License-Identifier: GPL-3.0-or-later
#include "radio/radiolink.h"

#include "core/runtime_error.h"

#include <array>
#include <exception>

namespace qv7m {

namespace {
// The record bytes a status read takes: the program reads 16 times after the
// request, and an answer begins at its 4th read, so bytes 14-16 are never
// taken (the radio's, dropped as they come).
constexpr int kStatusBytesTaken = 13;
constexpr int kReadsBeforeAnswer = 3;
// The meter read takes two copies: five reads, the answer from the 4th.
constexpr int kMeterBytesTaken = 2;
}  // namespace

RadioLink::RadioLink(AlignedLink& link) : link_(link) {}

void RadioLink::open(int16_t port) {
    link_.open(port);
    pacingZero_ = false;
}
void RadioLink::close() { link_.close(); }
void RadioLink::sendScanStart() { link_.send(cat::scanStart()); }
void RadioLink::sendScanEnd() { link_.send(cat::scanEnd()); }

void RadioLink::tuneVfoB(int32_t units) {
    if (const auto bcd = cat::vfoBDigits(units)) vfoB_ = *bcd;
    link_.send(cat::setVfoB(vfoB_));
}

bool RadioLink::tuneVfoA(int32_t units) {
    const auto bcd = cat::vfoADigits(units);
    if (!bcd) return false;
    link_.send(cat::setVfoA(*bcd));
    return true;
}

void RadioLink::followUpsBeforeAnswer() {
    for (int k = 0; k < kReadsBeforeAnswer; ++k) sendFollowUp();
}

std::optional<uint8_t> RadioLink::meterCopies(bool followUps) {
    std::optional<uint8_t> reading;
    for (int i = 1; i <= kMeterBytesTaken; ++i) {
        const std::optional<uint8_t> copy = link_.take(i);
        if (followUps) sendFollowUp();
        if (copy) reading = copy;
    }
    return reading;
}

int16_t RadioLink::readMeter() {
    link_.ask(cat::meterRequest());
    followUpsBeforeAnswer();
    if (const auto reading = meterCopies(true)) meter_ = int16_t(*reading);
    return meter_;
}

int32_t RadioLink::readStatus() {
    link_.ask(cat::statusRequest());
    followUpsBeforeAnswer();
    std::array<std::optional<uint8_t>, kStatusBytesTaken> record;
    for (int i = 1; i <= kStatusBytesTaken; ++i) {
        record[size_t(i - 1)] = link_.take(i);
        sendFollowUp();
    }
    return centreFrom(record.data(), kStatusBytesTaken);
}

int32_t RadioLink::centreFrom(const std::optional<uint8_t>* record, int taken) {
    // A silent or short answer leaves frequency bytes missing, and a garbled
    // one may name a frequency the radio cannot tune: sweeping around 0 Hz or
    // 52 MHz helps nobody, so the centre stays where it was.
    std::array<uint8_t, cat::kRecordFrequencyByte + 3> head{};
    for (int b = 1; b <= cat::kRecordFrequencyByte + 3; ++b) {
        if (b >= cat::kRecordFrequencyByte && !record[b - 1]) return centre_;
        head[size_t(b - 1)] = record[b - 1].value_or(0);
    }
    const int32_t units = cat::recordUnits(cat::recordCount(head.data()));
    if (!cat::tunableUnits(units)) return centre_;
    centre_ = units;
    statusTimer_.start();
    if (taken >= cat::kRecordModeByte)
        if (const auto mode = record[cat::kRecordModeByte - 1]) mode_ = *mode;
    return centre_;
}

void RadioLink::sendPacingZero() {
    link_.send(cat::pacing(0));
    pacingZero_ = true;
}

void RadioLink::sendFollowUp() {
    link_.send(cat::followUp());
    pacingZero_ = false;
}

int32_t RadioLink::readStatusAtOnce() {
    if (!pacingZero_) sendPacingZero();
    link_.ask(cat::statusRequest());
    // Up to the mode byte: what follows is dropped as it comes, while the
    // next frames already go out.
    std::array<std::optional<uint8_t>, cat::kRecordModeByte> record;
    for (int b = 1; b <= cat::kRecordModeByte; ++b) record[size_t(b - 1)] = link_.take(b);
    return centreFrom(record.data(), cat::kRecordModeByte);
}

void RadioLink::askMeterAt(int32_t units) {
    tuneVfoB(units);
    link_.ask(cat::meterRequest());
}

void RadioLink::askMeterAhead(int32_t units) {
    tuneVfoB(units);
    link_.askAhead(cat::meterRequest());
}

int16_t RadioLink::takeMeter() {
    if (const auto reading = meterCopies(false)) meter_ = int16_t(*reading);
    return meter_;
}

int16_t RadioLink::readMeterAtOnce() {
    link_.ask(cat::meterRequest());
    return takeMeter();
}

int16_t RadioLink::readMainMeter() {
    if (!pacingZero_) sendPacingZero();
    link_.ask(cat::mainMeterRequest());
    const auto reading = meterCopies(false);
    return reading ? int16_t(*reading) : int16_t(-1);
}

bool RadioLink::testPort(int16_t port) {
    if (port < 1) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("Invalid port number %1").arg(port));
    // Every step runs even after a failure; the result only says whether any failed.
    bool failed = false;
    auto attempt = [&](bool open) {
        try {
            if (open)
                link_.open(port);
            else
                link_.close();
        } catch (const std::exception&) {
            failed = true;
        }
    };
    attempt(true);
    attempt(false);
    attempt(true);
    try {
        link_.close();
    } catch (const std::exception&) {
        // The port is being given up either way.
    }
    return !failed;
}

}  // namespace qv7m
