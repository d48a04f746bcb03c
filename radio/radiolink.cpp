#include "radio/radiolink.h"

#include "core/runtime_error.h"
#include "radio/protocol.h"

#include <exception>

namespace qv7m {

namespace {

QByteArray bytesOf(const cat::Frame& f) { return QByteArray(reinterpret_cast<const char*>(f.data()), int(f.size())); }

QByteArray frame(uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t opcode) {
    return bytesOf(cat::frame(p1, p2, p3, p4, opcode));
}

int byteValue(const QByteArray& text) { return text.isEmpty() ? 0 : uint8_t(text.at(0)); }

}  // namespace

RadioLink::RadioLink(MSComm& comm) : comm_(comm) {}

QByteArray RadioLink::meterFrame() { return bytesOf(cat::meterRequest()); }
QByteArray RadioLink::statusFrame() { return bytesOf(cat::statusRequest()); }
QByteArray RadioLink::followUpFrame() { return bytesOf(cat::followUp()); }

void RadioLink::Befehl(const int16_t& nummer) {
    switch (nummer) {
    case 1:
        // Least significant BCD pair first, as the radio expects it.
        comm_.Output(frame(uint8_t(bcdBytes[4]), uint8_t(bcdBytes[3]), uint8_t(bcdBytes[2]),
                           uint8_t(bcdBytes[1]), cat::op::kSetVfoB));
        break;
    case 3:
        comm_.Output(frame(0x00, 0x00, 0x00, 0x01, cat::op::kScanStart));
        break;
    case 4:
        comm_.Output(frame(0x00, 0x00, 0x00, 0x00, cat::op::kScanEnd));
        break;
    case 10:
        comm_.setPortOpen(false);
        break;
    case 11:
        comm_.setPortOpen(true);
        break;
    default:
        break;
    }
}

void RadioLink::konvertiere(const int32_t& was) {
    // A negative frequency would put its "-" into a BCD pair and send a
    // nonsense frame; it is treated like any other value that cannot be
    // encoded: the previous frequency stays.
    if (was < 0) return;
    QString text = QString::number(was);
    if (text.size() == 6)
        text.prepend(QStringLiteral("00"));
    else if (text.size() == 7)
        text.prepend(QLatin1Char('0'));
    else
        return;

    std::array<int16_t, 5> next{};
    for (int index = 1; index <= 4; ++index) {
        const QString pair = text.mid((index - 1) * 2, 2);
        // "07" is read as the number 7 and written back as "7" before it is
        // taken as hexadecimal; the value is the same either way.
        next[index] = int16_t(Hex2Dec(QString::number(pair.toInt())));
    }
    for (int index = 1; index <= 4; ++index) bcdBytes[index] = next[index];
}

int32_t RadioLink::Hex2Dec(QString sHex) {
    static const QString digits = QStringLiteral("0123456789ABCDEF");
    const int length = sHex.size();
    int64_t accumulator = 0;
    for (int i = length; i >= 1; --i) {
        const int digit = digits.indexOf(sHex.at(i - 1), 0, Qt::CaseSensitive);  // -1 when not a digit
        if (digit == 0) continue;
        const int power = length - i;
        // 16^8 already exceeds the 32-bit range, so any non-zero digit that far
        // left overflows whatever the accumulator holds.
        if (power >= 8)
            throw RuntimeError(RuntimeError::Kind::Overflow,
                               QStringLiteral("Overflow: \"%1\" does not fit a 32-bit integer").arg(sHex));
        accumulator += int64_t(digit) * (int64_t(1) << (4 * power));
        if (accumulator < INT32_MIN || accumulator > INT32_MAX)
            throw RuntimeError(RuntimeError::Kind::Overflow,
                               QStringLiteral("Overflow: \"%1\" does not fit a 32-bit integer").arg(sHex));
    }
    return int32_t(accumulator);
}

void RadioLink::lesemeter() {
    comm_.Output(meterFrame());
    for (int k = 1; k <= 5; ++k) {
        rxBuffer[k] = comm_.Input();
        comm_.Output(followUpFrame());
        if (!rxBuffer[k].isEmpty()) meterValue = int16_t(uint8_t(rxBuffer[k].at(0)));
    }
}

void RadioLink::ReadStatus() {
    comm_.Output(statusFrame());
    for (int k = 6; k <= 21; ++k) {
        rxBuffer[k] = comm_.Input();
        comm_.Output(followUpFrame());
    }
    DecodeFrequency();
}

void RadioLink::DecodeFrequency() {
    // The decode yields to the window four times; whatever happens in there,
    // freqHex must be empty again afterwards or the next decode goes wrong.
    struct ClearOnExit {
        QString& text;
        ~ClearOnExit() { text.clear(); }
    } clearFreqHex{freqHex};

    for (int k = 10; k <= 13; ++k) {
        if (doEvents) doEvents();
        bitString.clear();
        hexDigits.clear();
        ByteToBits(rxBuffer[k]);
        BitsToHex(bitString.left(4));
        BitsToHex(bitString.mid(4, 4));
        freqHex += hexDigits;
    }
    freqHex = freqHex.mid(1, 6);
    const int32_t decoded = Hex2Dec(freqHex);
    // A silent or short answer leaves frequency bytes unfilled, and a garbled
    // one may name a frequency the radio cannot tune: sweeping around 0 Hz or
    // 52 MHz helps nobody, so the centre stays where it was.
    bool filled = true;
    for (int k = 10; k <= 13; ++k) filled = filled && !rxBuffer[k].isEmpty();
    if (filled && decoded >= cat::kMinHz / 10 && decoded <= cat::kMaxHz / 10) centerFreq = decoded;
}

void RadioLink::ByteToBits(const QByteArray& text) {
    int n = byteValue(text);
    for (int j = 7; j >= 0; --j) {
        if (n < (1 << j)) {
            bitString += QLatin1Char('0');
        } else {
            bitString += QLatin1Char('1');
            n -= 1 << j;
        }
    }
}

void RadioLink::BitsToHex(const QString& bits) {
    int v = 0;
    for (int j = 1; j <= 4; ++j) {
        if (bits.mid(4 - j, 1) != QLatin1String("0")) v += 1 << (j - 1);
    }
    hexDigits += v < 10 ? QString::number(v) : QString(QChar('A' + (v - 10)));
}

bool RadioLink::PortTest(const int16_t& COMPortNummer) {
    comm_.setCommPort(COMPortNummer);  // not trapped: the caller sees this error

    // Every step runs even after a failure; the result only says whether any failed.
    bool failed = false;
    auto attempt = [&](bool open) {
        try {
            comm_.setPortOpen(open);
        } catch (const std::exception&) {
            failed = true;
        }
    };
    attempt(true);
    attempt(false);
    attempt(true);

    try {
        comm_.setPortOpen(false);
    } catch (const std::exception&) {
        // The port is being given up either way.
    }
    return !failed;
}

void RadioLink::Sleep(int ms) { comm_.idleWait(ms); }

}  // namespace qv7m
