// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file "qv-7m.ini": five lines, each ending in CR LF. Lines 1-4
// hold list indices in display format (" 2 ", "-1 "), line 5 the callsign.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace qv7m {

// A line longer than this is cut: a settings line is a few characters, and a
// huge file must not take the program's memory.
constexpr qsizetype kMaxSettingsLine = 4096;

struct SettingsText {
    QStringList lines;            // at most five, without their line ends
    bool lastLineLatin1 = false;  // line 5 was not valid UTF-8 and was read byte for byte
};

// Reads up to five lines. A line ends at CR, CR LF or LF. Throws
// RuntimeError(File) naming the file and the reason when it cannot be read.
SettingsText readSettingsFile(const QString& path);

// An index in display format with its line end: 2 -> " 2 \r\n", -1 -> "-1 \r\n".
QByteArray indexLine(int16_t index);

// The whole file's bytes.
QByteArray settingsBytes(const std::array<int16_t, 4>& indices, const QString& ownerCall, bool latin1);

// Writes the file whole (writeWholeFile); throws RuntimeError(File) naming
// the file and the reason, leaving any old file untouched.
void writeSettingsFile(const QString& path, const QByteArray& bytes);

// A settings line as a list index (blanks ignored, rounded like any 16-bit
// conversion); nothing when the text is not a number or out of range.
std::optional<int16_t> parseIndex(const QString& text);

}  // namespace qv7m
