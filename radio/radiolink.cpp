#include "radio/radiolink.h"

#include "core/runtime_error.h"
#include "radio/cat_codec.h"

#include <exception>

namespace qv7m {

namespace {

QByteArray bytesOf(const cat::Frame& f) { return QByteArray(reinterpret_cast<const char*>(f.data()), int(f.size())); }

QByteArray frame(uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t opcode) {
    return bytesOf(cat::frame(p1, p2, p3, p4, opcode));
}

int byteValue(const QByteArray& text) { return text.isEmpty() ? 0 : uint8_t(text.at(0)); }

// Reads of a status answer, counted from the request: the record's byte b
// arrives at read b + 3 (the first three reads come before any answer).
constexpr int kStatusReads = 16;
constexpr int readOfRecordByte(int b) { return b + 3; }
constexpr int kModeByte = 8;

// Eight decimal digits of a frequency in 10 Hz units, least significant pair first.
std::array<uint8_t, 4> packedBcd(int32_t units) {
    std::array<uint8_t, 4> bcd{};
    for (int i = 0; i < 4; ++i, units /= 100) bcd[i] = uint8_t((units % 100 / 10) << 4 | units % 10);
    return bcd;
}

}  // namespace

RadioLink::RadioLink(CommControl& comm) : comm_(comm) {}

QByteArray RadioLink::meterFrame() { return bytesOf(cat::meterRequest()); }
QByteArray RadioLink::statusFrame() { return bytesOf(cat::statusRequest()); }
QByteArray RadioLink::followUpFrame() { return bytesOf(cat::followUp()); }

void RadioLink::open() { comm_.setPortOpen(true); }
void RadioLink::close() { comm_.setPortOpen(false); }
void RadioLink::sendScanStart() { comm_.Output(frame(0x00, 0x00, 0x00, 0x01, cat::op::kScanStart)); }
void RadioLink::sendScanEnd() { comm_.Output(frame(0x00, 0x00, 0x00, 0x00, cat::op::kScanEnd)); }
void RadioLink::tuneVfoB(int32_t units) {
    if (const auto bcd = bcdOf(units)) bcd_ = *bcd;
    comm_.Output(frame(bcd_[0], bcd_[1], bcd_[2], bcd_[3], cat::op::kSetVfoB));
}

bool RadioLink::tuneVfoA(int32_t units) {
    if (units < cat::kMinHz / 10 || units > cat::kMaxHz / 10) return false;
    const auto bcd = packedBcd(units);
    comm_.Output(frame(bcd[0], bcd[1], bcd[2], bcd[3], cat::op::kSetVfoA));
    return true;
}

std::optional<std::array<uint8_t, 4>> RadioLink::bcdOf(int32_t units) {
    // Six or seven digits, padded to eight; a negative number would put its
    // "-" into a BCD pair.
    if (units < 100000 || units > 9999999) return std::nullopt;
    return packedBcd(units);
}

int32_t RadioLink::hexToInt32(const QString& hex) {
    static const QString digits = QStringLiteral("0123456789ABCDEF");
    const int length = hex.size();
    int64_t accumulator = 0;
    for (int i = length; i >= 1; --i) {
        const int digit = digits.indexOf(hex.at(i - 1), 0, Qt::CaseSensitive);  // -1 when not a digit
        if (digit == 0) continue;
        const int power = length - i;
        // 16^8 already exceeds the 32-bit range, so any non-zero digit that far
        // left overflows whatever the accumulator holds.
        if (power >= 8)
            throw RuntimeError(RuntimeError::Kind::Overflow,
                               QStringLiteral("Overflow: \"%1\" does not fit a 32-bit integer").arg(hex));
        accumulator += int64_t(digit) * (int64_t(1) << (4 * power));
        if (accumulator < INT32_MIN || accumulator > INT32_MAX)
            throw RuntimeError(RuntimeError::Kind::Overflow,
                               QStringLiteral("Overflow: \"%1\" does not fit a 32-bit integer").arg(hex));
    }
    return int32_t(accumulator);
}

int16_t RadioLink::readMeter() {
    comm_.Output(meterFrame());
    for (int k = 1; k <= 5; ++k) {
        const QByteArray read = comm_.Input();
        comm_.Output(followUpFrame());
        if (!read.isEmpty()) meter_ = int16_t(uint8_t(read.at(0)));
    }
    return meter_;
}

int32_t RadioLink::readStatus() {
    comm_.Output(statusFrame());
    std::array<QByteArray, kStatusReads + 1> reads;  // 1-based
    for (int k = 1; k <= kStatusReads; ++k) {
        reads[k] = comm_.Input();
        comm_.Output(followUpFrame());
    }
    const int first = readOfRecordByte(cat::kRecordFrequencyByte);
    const int32_t decoded =
        decodeFrequency({reads[first], reads[first + 1], reads[first + 2], reads[first + 3]}, -1, yieldToWindow);
    if (decoded >= 0) {
        centre_ = decoded;
        statusTimer_.start();
        const QByteArray& mode = reads[readOfRecordByte(kModeByte)];
        if (!mode.isEmpty()) mode_ = uint8_t(mode.at(0));
    }
    return centre_;
}

int32_t RadioLink::decodeFrequency(const std::array<QByteArray, 4>& bytes, int32_t previous,
                                   const std::function<void()>& yield) {
    // Eight hex digits, the first dropped and the last one too: the count of
    // 0.625 Hz units divided by 16, times 10, is the frequency in 10 Hz units.
    QString hex;
    bool filled = true;
    for (const QByteArray& b : bytes) {
        if (yield) yield();
        hex += QStringLiteral("%1").arg(byteValue(b), 2, 16, QLatin1Char('0')).toUpper();
        filled = filled && !b.isEmpty();
    }
    const int32_t decoded = hexToInt32(hex.mid(1, 6));
    // A silent or short answer leaves frequency bytes unfilled, and a garbled
    // one may name a frequency the radio cannot tune: sweeping around 0 Hz or
    // 52 MHz helps nobody, so the centre stays where it was.
    if (filled && decoded >= cat::kMinHz / 10 && decoded <= cat::kMaxHz / 10) return decoded;
    return previous;
}

bool RadioLink::testPort(int16_t port) {
    comm_.setCommPort(port);  // not trapped: the caller sees this error
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

void RadioLink::pause(int ms) { comm_.idleWait(ms); }

}  // namespace qv7m
