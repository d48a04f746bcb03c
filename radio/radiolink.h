#pragma once
// The radio's operations as the program uses them: open and close the line,
// tune VFO-A or VFO-B, read the meter, read the status record. Each sends the
// CAT frames the operation needs through the serial control and reads the
// answer one byte a read, as the control lines them up.

#include "radio/commcontrol.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace qv7m {

class RadioLink {
public:
    explicit RadioLink(CommControl& comm);

    CommControl& comm() { return comm_; }

    // Runs all pending window events. Set by the window; a no-op by default.
    std::function<void()> yieldToWindow;

    void open();
    void close();
    // The frames that mark a scan's start and end on the radio.
    void sendScanStart();
    void sendScanEnd();
    // Tunes VFO-B to a frequency in 10 Hz units. A frequency of other than six
    // or seven digits sends the last one that had them.
    void tuneVfoB(int32_t units);
    // Tunes VFO-A, the operator's; false, and nothing sent, for a frequency
    // the radio cannot tune.
    bool tuneVfoA(int32_t units);

    // Reads the meter and returns the reading, which meter() keeps. When the
    // radio sends nothing the reading stays what it was.
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

    // The centre decoded from the record's four frequency bytes (big-endian
    // count of 0.625 Hz units), or previous when they cannot be one. Yields to
    // the window before each byte, as the program always has.
    static int32_t decodeFrequency(const std::array<QByteArray, 4>& bytes, int32_t previous,
                                   const std::function<void()>& yield = {});
    // The eight BCD digits of a frequency in 10 Hz units, least significant pair
    // first; none for a frequency outside 100000..9999999.
    static std::optional<std::array<uint8_t, 4>> bcdOf(int32_t units);
    // Hexadecimal digits to a number; RuntimeError(Overflow) beyond 32 bits.
    static int32_t hexToInt32(const QString& hex);

    // Opens and closes the port twice; false when any of that failed.
    bool testPort(int16_t port);

    // The program's pause between sweep steps. It goes through the control so
    // that answers still arriving are taken in (and lined up) while it waits.
    void pause(int ms);

    // The five bytes of each frame the reads send.
    static QByteArray meterFrame();
    static QByteArray statusFrame();
    static QByteArray followUpFrame();

private:
    CommControl& comm_;
    std::array<uint8_t, 4> bcd_{};  // as sent: least significant pair first
    int16_t meter_ = 0;
    int32_t centre_ = 1425000;
    std::optional<uint8_t> mode_;
    QElapsedTimer statusTimer_;
};

}  // namespace qv7m
