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

    // ---- the fast reads: the pacing at 0, no follow-up frames, each answer
    // taken whole by order and count.
    // The pacing frame with 0 ms; the follow-up frame puts 15 ms back.
    void sendPacingZero();
    void sendFollowUp();
    // True from a pacing of 0 until the next follow-up frame, in this port session.
    bool pacingZero() const { return pacingZero_; }
    // As readStatus(), as one answer at pacing 0 (the pacing frame first
    // unless it is set already).
    int32_t readStatusAtOnce();
    // A fast step: tunes VFO-B and asks for its meter; takeMeter() reads it.
    void askMeterAt(int32_t units);
    // The next step's frames, sent while this step's answer may still be
    // arriving; turnToAhead() makes it the step read, in its turn.
    void askMeterAhead(int32_t units);
    bool stepAhead() const { return link_.hasAhead(); }
    void turnToAhead() { link_.ask(cat::meterRequest()); }
    // The reading of the step being read, as readMeter() takes it.
    int16_t takeMeter();
    // readMeter() without follow-ups, for a held fast sweep.
    int16_t readMeterAtOnce();
    // VFO-A's meter (the main receiver), at pacing 0; -1 when the radio sent
    // no reading. meter() stays the scan's.
    int16_t readMainMeter();
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
    // The two copies a meter answer's reading is taken from; none when neither came.
    std::optional<uint8_t> meterCopies(bool followUps);
    // The centre from the record's bytes as taken (1-based: record[0] is byte 1).
    int32_t centreFrom(const std::optional<uint8_t>* record, int taken);

    AlignedLink& link_;
    cat::Bcd vfoB_{};  // the last VFO-B frequency sent
    int16_t meter_ = 0;
    int32_t centre_ = 1425000;
    std::optional<uint8_t> mode_;
    bool pacingZero_ = false;
    QElapsedTimer statusTimer_;
};

}  // namespace qv7m
