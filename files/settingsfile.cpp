// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/settingsfile.h"

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "files/whole_file.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace qv7m {

namespace {
// "Cannot read the settings file <file>: <reason>", the file named in full.
RuntimeError settingsError(const QString& what, const QString& path, const QString& reason) {
    return RuntimeError(RuntimeError::Kind::File, what + QStringLiteral(" the settings file ") +
                                                      fileError(QFileInfo(path).absoluteFilePath(), reason).message());
}

bool isUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString s = dec(bytes);
    Q_UNUSED(s);
    return !dec.hasError();
}
}  // namespace

SettingsText readSettingsFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw settingsError(QStringLiteral("Cannot read"), path, f.errorString());

    std::array<QByteArray, 5> raw;
    int n = 0;
    bool inLine = false;
    bool afterCr = false;
    char buf[4096];
    while (n < 5) {
        const qint64 got = f.read(buf, sizeof buf);
        if (got < 0) throw settingsError(QStringLiteral("Cannot read"), path, f.errorString());
        if (got == 0) break;
        for (qint64 i = 0; i < got && n < 5; ++i) {
            const char c = buf[i];
            if (afterCr) {
                afterCr = false;
                if (c == '\n') continue;  // CR LF ends one line, not two
            }
            if (c == '\r' || c == '\n') {
                afterCr = (c == '\r');
                ++n;
                inLine = false;
                continue;
            }
            inLine = true;
            if (raw[n].size() < kMaxSettingsLine) raw[n].append(c);
        }
    }
    if (inLine && n < 5) ++n;  // a last line without its line end still counts

    SettingsText text;
    for (int i = 0; i < n; ++i) {
        if (i == 4 && !isUtf8(raw[i])) {
            text.lastLineLatin1 = true;
            text.lines.append(QString::fromLatin1(raw[i]));
        } else {
            text.lines.append(i == 4 ? QString::fromUtf8(raw[i]) : QString::fromLatin1(raw[i]));
        }
    }
    return text;
}

QByteArray indexLine(int16_t index) {
    QByteArray s = index < 0 ? QByteArray("-") : QByteArray(" ");
    s += QByteArray::number(std::abs(static_cast<int>(index)));
    s += " \r\n";
    return s;
}

QByteArray settingsBytes(const std::array<int16_t, 4>& indices, const QString& ownerCall, bool latin1) {
    QByteArray out;
    for (int16_t i : indices) out += indexLine(i);
    out += latin1 ? ownerCall.toLatin1() : ownerCall.toUtf8();
    out += "\r\n";
    return out;
}

void writeSettingsFile(const QString& path, const QByteArray& bytes) {
    // Named in full in the message, as when it is read.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    try {
        writeWholeFile(absolute, bytes);
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.kind(), QStringLiteral("Cannot write the settings file ") + e.message());
    }
}

std::optional<int16_t> parseIndex(const QString& text) {
    try {
        return toInt16(toDouble(text));
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

}  // namespace qv7m
