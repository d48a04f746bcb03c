#pragma once
// The FT-1000MP's CAT frames and answers as the simulated radio builds them:
// frequency codes and the 16-byte operating-data record. The protocol's facts
// (byte time, opcodes, answer lengths, tuning range) are the program's own,
// in radio/cat_codec.h, so the two cannot drift apart.

#include <array>
#include <cstdint>
#include <optional>

#include "radio/cat_codec.h"

namespace qv7m::sim {

// P1..P4 of a set-frequency frame: packed BCD, least significant pair first,
// in 10 Hz units. Empty when a digit is not decimal.
std::optional<int64_t> decodeBcdHz(const uint8_t* p);
// The P1..P4 that set `hz` (rounded down to 10 Hz; 0..999999990).
std::array<uint8_t, 4> encodeBcdHz(int64_t hz);

// The radio's frequency count: 0.625 Hz units, hz * 16 / 10, rounded.
uint32_t frequencyCount(int64_t hz);

// Mode byte of the record.
constexpr uint8_t kModeLsb = 0x00, kModeUsb = 0x01;

// One record: byte 1 band/status, 2-5 frequency count (big-endian),
// 6-7 clarifier, 8 mode, 9 IF filter, 10-16 flags.
std::array<uint8_t, cat::kRecordBytes> operatingRecord(int64_t hz);

}  // namespace qv7m::sim
