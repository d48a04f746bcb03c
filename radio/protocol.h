#pragma once
// The FT-1000MP's CAT protocol as far as this program and its radio simulator
// use it: the line's byte time, the opcodes, the frames, and how many bytes
// the radio sends back for each. Plain C++, so that the simulator (which has
// no Qt) shares it with the program.

#include <array>
#include <cstdint>

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
constexpr uint8_t kMeter = 0xF7;   // P1 01: the sub receiver (VFO-B)
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

// A status record: byte 1 band/status, bytes 2-5 the frequency (big-endian
// count of 0.625 Hz units), 6-7 clarifier, 8 mode, 9 IF filter, 10-16 flags.
constexpr int kRecordBytes = 16;
constexpr int kRecordFrequencyByte = 2;  // 1-based, the first of four
constexpr int64_t hzFromCount(uint32_t count) { return int64_t(count) * 10 / 16; }

// What the radio tunes; it ignores set-frequency frames outside this range.
constexpr int64_t kMinHz = 100000;
constexpr int64_t kMaxHz = 30000000;

// Bytes the radio sends back for a frame with this opcode and P4; 0 for the
// frames it only acts on.
constexpr int answerLength(uint8_t opcode, uint8_t p4) {
    switch (opcode) {
    case op::kMeter: return kMeterCopies + 1;
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
constexpr Frame statusRequest() { return frame(0x01, 0x00, 0x00, kStatusOperating, op::kStatus); }
constexpr Frame pacing(uint8_t ms) { return frame(0x00, 0x00, 0x00, ms, op::kPacing); }
constexpr Frame followUp() { return pacing(15); }

}  // namespace qv7m::cat
