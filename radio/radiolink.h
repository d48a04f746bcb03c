// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The radio's operations as the program uses them: open and close the port,
// tune VFO-A or VFO-B, read the meter, read the status record, mark a scan's
// start and end. Each is a transaction: it sends its frames, follow-ups
// included, and takes its answer's bytes by order and count.

#include "radio/aligned_link.h"

#include <QElapsedTimer>
#include <cstdint>
#include <optional>

namespace qv7m {

class RadioLink {
public:
    explicit RadioLink(AlignedLink& link);

    AlignedLink& link() { return link_; }

    void open(int16_t port);
    void close();
    bool isOpen() const { return link_.isOpen(); }
    // The frames that mark a scan's start and end on the radio.
    void sendScanStart();
    void sendScanEnd();
    // Tunes VFO-B to a frequency in 10 Hz units. A frequency of other than six
    // or seven digits sends the last one that had them.
    void tuneVfoB(int32_t units);
    // Tunes VFO-A, the operator's; false, and nothing sent, for a frequency
    // the radio cannot tune.
    bool tuneVfoA(int32_t units);

    // Reads the meter and returns the reading, which meter() keeps: the
    // answer's second copy, else its first; when the radio sends neither the
    // reading stays what it was.
    int16_t readMeter();
    int16_t meter() const { return meter_; }
    // -1: nothing read yet (the port probe's test for an answer).
    void forgetMeter() { meter_ = -1; }

    // Reads the status record and returns VFO-A's frequency in 10 Hz units,
    // which centre() keeps. A silent or short answer, or a frequency the radio
    // cannot tune, leaves the centre where it was.
    int32_t readStatus();
    int32_t centre() const { return centre_; }
    void setCentre(int32_t units) { centre_ = units; }
    // The mode byte of the last status record that named a tunable frequency.
    std::optional<uint8_t> lastMode() const { return mode_; }
    // Milliseconds since a status read last named a tunable frequency; -1 when
    // none has, or since forgetStatus() (the radio was retuned).
    qint64 statusAgeMs() const { return statusTimer_.isValid() ? statusTimer_.elapsed() : -1; }
    void forgetStatus() { statusTimer_.invalidate(); }

    // Opens and closes port n twice; false when any of that failed.
    bool testPort(int16_t port);

    // The program's pause between sweep steps; answers still arriving are
    // taken in (and lined up) while it waits.
    void pause(int ms) { link_.pause(ms); }

private:
    // After a request the program sends the follow-up frame at each of its
    // reads: three before the answer can begin, then one after each byte taken.
    void followUpsBeforeAnswer();

    AlignedLink& link_;
    cat::Bcd vfoB_{};  // the last VFO-B frequency sent
    int16_t meter_ = 0;
    int32_t centre_ = 1425000;
    std::optional<uint8_t> mode_;
    QElapsedTimer statusTimer_;
};

}  // namespace qv7m
