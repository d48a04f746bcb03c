#pragma once
// The radio link's procedures and the state it owns: the CAT frames sent by
// command number, the BCD encoding of a frequency, the meter and status reads.

#include "radio/mscomm.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace qv7m {

class RadioLink {
public:
    explicit RadioLink(MSComm& comm);

    MSComm& comm() { return comm_; }

    // Runs all pending window events (DoEvents). Set by the form; a no-op by default.
    std::function<void()> doEvents;

    // --- commands and encoding ---
    void Befehl(const int16_t& nummer);
    void konvertiere(const int32_t& was);
    static int32_t Hex2Dec(QString sHex);  // RuntimeError(Overflow) beyond 32 bits

    // --- reads (the link must be open) ---
    void lesemeter();
    void ReadStatus();
    void DecodeFrequency();
    void ByteToBits(const QByteArray& text);
    void BitsToHex(const QString& bits);

    // --- port test ---
    bool PortTest(const int16_t& COMPortNummer);

    // The program's pause between sweep steps. It goes through the control so
    // that answers still arriving are taken in (and lined up) while it waits.
    void Sleep(int ms);

    // The five bytes of each frame the reads send.
    static QByteArray meterFrame();
    static QByteArray statusFrame();
    static QByteArray followUpFrame();

    // --- state owned by the link ---
    std::array<int16_t, 5> bcdBytes{};      // indices 1..4 used
    std::array<QByteArray, 22> rxBuffer{};  // indices 1..21 used
    int16_t meterValue = 0;                 // -1: nothing received since the probe's preset
    int32_t centerFreq = 1425000;           // kept when a status read decodes to no tunable frequency
    QString bitString;
    QString hexDigits;
    QString freqHex;

private:
    MSComm& comm_;
};

}  // namespace qv7m
