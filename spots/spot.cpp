// SPDX-License-Identifier: GPL-3.0-or-later
#include "spots/spot.h"

#include <QStringDecoder>
#include <QStringList>

namespace qv7m {
namespace {

// Spots outside this are typing errors or junk, not radio.
constexpr qint64 kLowestHz = 10'000;
constexpr qint64 kHighestHz = 300'000'000'000;

bool isUpperLetter(QChar c) { return c >= u'A' && c <= u'Z'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A call sign has a letter and a digit and nothing but them and '/'.
bool validCall(const QString& call) {
    if (call.size() < 3 || call.size() > 16) return false;
    bool letter = false;
    bool digit = false;
    for (QChar c : call) {
        letter = letter || isUpperLetter(c);
        digit = digit || isDigit(c);
        if (!isUpperLetter(c) && !isDigit(c) && c != u'/') return false;
    }
    return letter && digit;
}

// The spotter's call may carry suffixes: "-2" for a second connection, "-#" for a skimmer.
bool validSpotter(const QString& spotter) {
    const QStringList parts = spotter.split(u'-');
    if (!validCall(parts.first())) return false;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part.size() > 3) return false;
        for (QChar c : part) {
            if (!isUpperLetter(c) && !isDigit(c) && c != u'#') return false;
        }
    }
    return true;
}

// "14025.0" or "7003" (kHz) in Hz, computed in integers so 7003.5 is exactly 7003500.
std::optional<qint64> parseKhz(const QString& text) {
    const qsizetype dot = text.indexOf(u'.');
    const QString whole = dot < 0 ? text : text.left(dot);
    const QString fraction = dot < 0 ? QString() : text.mid(dot + 1);
    if (whole.isEmpty() || whole.size() > 9 || fraction.size() > 3) return std::nullopt;
    if (dot >= 0 && fraction.isEmpty()) return std::nullopt;
    qint64 hz = 0;
    for (QChar c : whole) {
        if (!isDigit(c)) return std::nullopt;
        hz = hz * 10 + c.digitValue();
    }
    hz *= 1000;
    qint64 scale = 100;
    for (QChar c : fraction) {
        if (!isDigit(c)) return std::nullopt;
        hz += c.digitValue() * scale;
        scale /= 10;
    }
    if (hz < kLowestHz || hz > kHighestHz) return std::nullopt;
    return hz;
}

// "HHMMZ".
std::optional<QTime> parseTime(const QString& text) {
    if (text.size() != 5 || text[4].toUpper() != u'Z') return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        if (!isDigit(text[i])) return std::nullopt;
    }
    const QTime time(text.left(2).toInt(), text.mid(2, 2).toInt());
    if (!time.isValid()) return std::nullopt;
    return time;
}

// What may follow the time: a locator ("JO01", "FN42ab") or, on AR-Cluster,
// the spotter's state or country.
bool validTrailer(const QString& text) {
    if (text.isEmpty() || text.size() > 8) return false;
    for (QChar c : text) {
        if (!c.isLetterOrNumber() || c.unicode() > 0x7f) return false;
    }
    return true;
}

struct Word {
    QString text;
    qsizetype begin;
    qsizetype end;
};

std::vector<Word> words(const QString& text) {
    std::vector<Word> out;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == u' ') ++i;
        const qsizetype begin = i;
        while (i < text.size() && text[i] != u' ') ++i;
        if (i > begin) out.push_back({text.mid(begin, i - begin), begin, i});
    }
    return out;
}

}  // namespace

QString clusterText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes.data(), bytes.size());
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\a') continue;
        const bool control = c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
        out.append(control ? QChar(u' ') : c);
    }
    return out;
}

std::optional<Spot> parseSpotLine(QByteArrayView line, const QDateTime& now) {
    const QString text = clusterText(line).trimmed();
    if (!text.startsWith(QLatin1String("DX de "), Qt::CaseInsensitive)) return std::nullopt;
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0) return std::nullopt;
    Spot spot;
    spot.spotter = text.mid(6, colon - 6).trimmed().toUpper();
    if (!validSpotter(spot.spotter)) return std::nullopt;
    spot.skimmer = spot.spotter.endsWith(QLatin1String("-#"));

    const QString rest = text.mid(colon + 1);
    const std::vector<Word> w = words(rest);
    if (w.size() < 3) return std::nullopt;
    const std::optional<qint64> hz = parseKhz(w[0].text);
    if (!hz) return std::nullopt;
    spot.hz = *hz;
    spot.call = w[1].text.toUpper();
    if (!validCall(spot.call)) return std::nullopt;

    // The time ends the line, or comes just before the locator that ends it.
    size_t timeAt = w.size() - 1;
    std::optional<QTime> utc = parseTime(w[timeAt].text);
    if (!utc && w.size() >= 4 && validTrailer(w.back().text)) {
        timeAt = w.size() - 2;
        utc = parseTime(w[timeAt].text);
    }
    if (!utc || timeAt < 2) return std::nullopt;
    spot.utc = *utc;
    spot.comment = rest.mid(w[1].end, w[timeAt].begin - w[1].end).trimmed();
    spot.received = now;
    return spot;
}

}  // namespace qv7m
