#pragma once
// The FT-1000MP's CAT frames and answers: frequency codes, the 16-byte
// operating-data record, and the line's byte time.

#include <array>
#include <cstdint>
#include <optional>

namespace qv7m::sim {

// 1 start + 8 data + 2 stop bits at 4800 baud: 11 / 4800 s.
constexpr int64_t kByteNs = 2291667;

// Range the radio tunes; set-frequency frames outside it are ignored.
constexpr int64_t kMinHz = 100000;
constexpr int64_t kMaxHz = 30000000;

namespace op {
constexpr uint8_t kSetVfoA = 0x0A;
constexpr uint8_t kSetVfoB = 0x8A;
constexpr uint8_t kPacing = 0x0E;
constexpr uint8_t kStatus = 0x10;
constexpr uint8_t kMeter = 0xF7;
constexpr uint8_t kFlags = 0xFA;
}  // namespace op

// P1..P4 of a set-frequency frame: packed BCD, least significant pair first,
// in 10 Hz units. Empty when a digit is not decimal.
std::optional<int64_t> decodeBcdHz(const uint8_t* p);
// The P1..P4 that set `hz` (rounded down to 10 Hz; 0..999999990).
std::array<uint8_t, 4> encodeBcdHz(int64_t hz);

// The radio's frequency count: 0.625 Hz units, hz * 16 / 10, rounded.
uint32_t frequencyCount(int64_t hz);

// Mode byte of the record.
constexpr uint8_t kModeLsb = 0x00, kModeUsb = 0x01;

// One 16-byte record: byte 1 band/status, 2-5 frequency count (big-endian),
// 6-7 clarifier, 8 mode, 9 IF filter, 10-16 flags.
std::array<uint8_t, 16> operatingRecord(int64_t hz);

}  // namespace qv7m::sim
