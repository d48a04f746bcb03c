// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The FT-1000MP's CAT protocol, stated once for the program, its radio
// simulator and the network server: the line's byte time, the opcodes, the
// frames, how many bytes the radio sends back for each, packed BCD, the
// status record's fields, the meter answer's shape and what the radio tunes.
// Plain C++, because the simulator has no Qt.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace qv7m::cat {

// One byte on the wire at 4800 baud with 1 start, 8 data and 2 stop bits:
// 11 / 4800 s, in nanoseconds. The same in both directions.
constexpr int64_t kByteNs = 2291667;

// Every command is five bytes: parameters P1 P2 P3 P4, then the opcode.
constexpr int kFrameBytes = 5;
using Frame = std::array<uint8_t, kFrameBytes>;

namespace op {
constexpr uint8_t kSetVfoA = 0x0A;  // P1..P4: packed BCD, least significant pair first, 10 Hz units
constexpr uint8_t kSetVfoB = 0x8A;
constexpr uint8_t kPacing = 0x0E;  // P4: ms the radio waits at every byte of its answers
constexpr uint8_t kStatus = 0x10;  // P4 selects the record (below)
constexpr uint8_t kMeter = 0xF7;   // P1 01: the sub receiver (VFO-B), 00: the main (VFO-A)
constexpr uint8_t kFlags = 0xFA;
// Fixed commands the program sends with the link open: when a scan starts,
// and when "Setup" or "Quit" end it. The radio sends nothing back.
constexpr uint8_t kScanStart = 0x83;
constexpr uint8_t kScanEnd = 0x85;
}  // namespace op

// P4 of a status request.
constexpr uint8_t kStatusMemoryChannel = 0x01;  // 1 byte
constexpr uint8_t kStatusOperating = 0x02;      // one 16-byte record
constexpr uint8_t kStatusBothVfos = 0x03;       // VFO-A's record, then VFO-B's

// A meter answer: the reading this many times, then the pad byte.
constexpr int kMeterCopies = 4;
constexpr uint8_t kMeterPad = 0xF7;
constexpr int kMeterAnswerBytes = kMeterCopies + 1;

// A status record: byte 1 band/status, bytes 2-5 the frequency (big-endian
// count of 0.625 Hz units), 6-7 clarifier, 8 mode, 9 IF filter, 10-16 flags.
constexpr int kRecordBytes = 16;
constexpr int kRecordFrequencyByte = 2;  // 1-based, the first of four
constexpr int kRecordModeByte = 8;       // 1-based
constexpr int64_t hzFromCount(uint32_t count) { return int64_t(count) * 10 / 16; }
// The radio's count for a frequency, rounded to the nearest 0.625 Hz.
constexpr uint32_t countFromHz(int64_t hz) { return uint32_t((hz * 16 + 5) / 10); }

// What the radio tunes; it ignores set-frequency frames outside this range.
constexpr int64_t kMinHz = 100000;
constexpr int64_t kMaxHz = 30000000;
constexpr bool tunableHz(int64_t hz) { return hz >= kMinHz && hz <= kMaxHz; }
// In units, not Hz, so that no count overflows on its way to Hz.
static_assert(kMinHz % 10 == 0);
static_assert(kMaxHz % 10 == 0);
constexpr bool tunableUnits(int64_t units) { return units >= kMinHz / 10 && units <= kMaxHz / 10; }

// Bytes the radio sends back for a frame with this opcode and P4; 0 for the
// frames it only acts on.
constexpr int answerLength(uint8_t opcode, uint8_t p4) {
    switch (opcode) {
    case op::kMeter: return kMeterAnswerBytes;
    case op::kFlags: return 5;
    case op::kStatus:
        return p4 == kStatusMemoryChannel ? 1
               : p4 == kStatusOperating   ? kRecordBytes
               : p4 == kStatusBothVfos    ? 2 * kRecordBytes
                                          : 0;
    default: return 0;
    }
}
constexpr int answerLength(const Frame& f) { return answerLength(f[4], f[3]); }

constexpr Frame frame(uint8_t p1, uint8_t p2, uint8_t p3, uint8_t p4, uint8_t opcode) {
    return Frame{p1, p2, p3, p4, opcode};
}
// The frames the program's reads send: the meter of the sub receiver, the
// current operating record, and the pacing of 15 ms that follows every read.
constexpr Frame meterRequest() { return frame(0x01, 0x00, 0x00, 0x00, op::kMeter); }
// The main receiver's meter (VFO-A, the operator's).
constexpr Frame mainMeterRequest() { return frame(0x00, 0x00, 0x00, 0x00, op::kMeter); }
constexpr Frame statusRequest() { return frame(0x01, 0x00, 0x00, kStatusOperating, op::kStatus); }
constexpr Frame pacing(uint8_t ms) { return frame(0x00, 0x00, 0x00, ms, op::kPacing); }
constexpr uint8_t kFollowUpPacingMs = 15;
constexpr Frame followUp() { return pacing(kFollowUpPacingMs); }
constexpr Frame scanStart() { return frame(0x00, 0x00, 0x00, 0x01, op::kScanStart); }
constexpr Frame scanEnd() { return frame(0x00, 0x00, 0x00, 0x00, op::kScanEnd); }

// ------------------------------------------------------------ packed BCD

// P1..P4 of a set-frequency frame: eight decimal digits of a count of 10 Hz,
// least significant pair first, each pair's tens in the high nibble. The
// count is taken modulo 10^8.
using Bcd = std::array<uint8_t, 4>;
constexpr Bcd packedBcd(int64_t units) {
    // The residue first: a negative count's pairs would hold negative digits.
    units %= 100000000;
    if (units < 0) units += 100000000;
    Bcd bcd{};
    for (int i = 0; i < 4; ++i) {
        const int pair = int(units % 100);
        units /= 100;
        bcd[size_t(i)] = uint8_t((pair / 10) << 4 | (pair % 10));
    }
    return bcd;
}
// The count of 10 Hz that P1..P4 spell; none when a nibble is not a decimal digit.
constexpr std::optional<int64_t> unitsFromBcd(const Bcd& bcd) {
    int64_t units = 0;
    for (int i = 3; i >= 0; --i) {
        const int hi = bcd[size_t(i)] >> 4;
        const int lo = bcd[size_t(i)] & 0x0F;
        if (hi > 9 || lo > 9) return std::nullopt;
        units = units * 100 + hi * 10 + lo;
    }
    return units;
}

// VFO-B, the scan's: a frequency of six or seven digits in 10 Hz units
// (100000..9999999); none otherwise, and the scan then repeats the last
// frequency it could send. A negative count would put its "-" into a pair.
constexpr std::optional<Bcd> vfoBDigits(int64_t units) {
    if (units < 100000 || units > 9999999) return std::nullopt;
    return packedBcd(units);
}
// VFO-A, the operator's: any frequency the radio tunes; none otherwise.
constexpr std::optional<Bcd> vfoADigits(int64_t units) {
    if (!tunableUnits(units)) return std::nullopt;
    return packedBcd(units);
}
constexpr Frame setVfoA(const Bcd& b) { return frame(b[0], b[1], b[2], b[3], op::kSetVfoA); }
constexpr Frame setVfoB(const Bcd& b) { return frame(b[0], b[1], b[2], b[3], op::kSetVfoB); }

// ------------------------------------------------------------ the status record

// The count in the record's frequency bytes (2-5, big-endian); `record`
// holds at least those five bytes.
constexpr uint32_t recordCount(const uint8_t* record) {
    uint32_t count = 0;
    for (int k = 0; k < 4; ++k) count = count << 8 | record[kRecordFrequencyByte - 1 + k];
    return count;
}
// The frequency in 10 Hz units as the program takes it: the count's middle
// six hexadecimal digits (count / 16, its highest nibble dropped).
constexpr int32_t recordUnits(uint32_t count) { return int32_t((count >> 4) & 0x00FFFFFF); }
// The record's frequency bytes name a frequency the radio tunes: a record
// shifted by a byte lost or added before them does not.
constexpr bool recordFrequencyHolds(uint32_t count) { return tunableHz(hzFromCount(count)); }

// Mode byte of the record, low three bits.
constexpr uint8_t kModeLsb = 0x00;
constexpr uint8_t kModeUsb = 0x01;
// Hamlib's name for a mode byte; nullptr for one the radio does not report.
constexpr const char* modeName(uint8_t modeByte) {
    constexpr const char* names[] = {"LSB", "USB", "CW", "AM", "FM", "RTTY", "PKTLSB"};
    const int m = modeByte & 0x07;
    return m < int(sizeof names / sizeof names[0]) ? names[m] : nullptr;
}

// The record the radio sends for VFO-A on `hz`: the sideband as operators
// use it, lower below 10 MHz and upper above.
constexpr std::array<uint8_t, kRecordBytes> operatingRecord(int64_t hz) {
    std::array<uint8_t, kRecordBytes> r{};
    const uint32_t c = countFromHz(hz);
    for (int i = 0; i < 4; ++i) r[size_t(kRecordFrequencyByte - 1 + i)] = uint8_t(c >> (24 - 8 * i));
    r[size_t(kRecordModeByte - 1)] = hz < 10000000 ? kModeLsb : kModeUsb;
    return r;
}

// ------------------------------------------------------------ the meter answer

// The first n bytes of a meter answer keep its shape: copies equal to the
// first, and the pad after the last copy.
constexpr bool meterShapeHolds(const uint8_t* bytes, size_t n) {
    for (size_t k = 1; k < n; ++k)
        if (bytes[k] != (k < size_t(kMeterCopies) ? bytes[0] : kMeterPad)) return false;
    return true;
}

}  // namespace qv7m::cat
