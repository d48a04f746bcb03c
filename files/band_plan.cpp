// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/band_plan.h"

#include "files/whole_file.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace qv7m {

namespace {

// Far beyond any real plan; keeps a wrongly chosen file from filling memory.
constexpr qint64 kMaxPlanBytes = 4 * 1024 * 1024;

std::optional<qint64> wholeNumber(const QString& field) {
    bool ok = false;
    const qint64 value = field.trimmed().toLongLong(&ok, 10);
    if (!ok || value < 0) return std::nullopt;
    return value;
}

// "#AARRGGBB", or "#RRGGBB" for an opaque colour as QColor would read it.
std::optional<QRgb> colourOf(const QString& field) {
    const QString text = field.trimmed();
    if (!text.startsWith(QLatin1Char('#'))) return std::nullopt;
    const QString digits = text.mid(1);
    if (digits.size() != 8 && digits.size() != 6) return std::nullopt;
    for (const QChar c : digits) {
        const bool hex = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                         (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
                         (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!hex) return std::nullopt;
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return digits.size() == 6 ? (0xff000000u | value) : value;
}

std::optional<BandSegment> segmentOf(const QString& line) {
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 6) return std::nullopt;
    const auto low = wholeNumber(fields[0]);
    const auto high = wholeNumber(fields[1]);
    const auto step = wholeNumber(fields[3]);
    const auto colour = colourOf(fields[4]);
    if (!low || !high || !step || !colour || *low >= *high) return std::nullopt;
    BandSegment segment;
    segment.lowHz = *low;
    segment.highHz = *high;
    segment.mode = fields[2].trimmed();
    segment.stepHz = *step;
    segment.colour = *colour;
    // gqrx cuts a name at its first comma; keeping the rest loses nothing.
    segment.name = fields.mid(5).join(QLatin1Char(',')).trimmed();
    return segment;
}

}  // namespace

BandPlan parseBandPlan(const QByteArray& text) {
    BandPlan plan;
    qsizetype start = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    int lineNumber = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
        ++lineNumber;
        const QString line = QString::fromUtf8(text.constData() + start, end - start).trimmed();
        // CR LF, LF or a lone CR each end one line.
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++start;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (auto segment = segmentOf(line)) {
            plan.segments.push_back(std::move(*segment));
        } else {
            if (plan.skippedLines == 0) plan.firstSkippedLine = lineNumber;
            ++plan.skippedLines;
        }
    }
    std::stable_sort(plan.segments.begin(), plan.segments.end(),
                     [](const BandSegment& a, const BandSegment& b) { return a.lowHz < b.lowHz; });
    return plan;
}

BandPlan loadBandPlan(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw fileError(path, f.errorString());
    // Read with a limit rather than by size, which a device or pipe does not tell.
    const QByteArray bytes = f.read(kMaxPlanBytes + 1);
    if (f.error() != QFileDevice::NoError) throw fileError(path, f.errorString());
    if (bytes.size() > kMaxPlanBytes) throw fileError(path, QStringLiteral("too large for a band plan"));
    return parseBandPlan(bytes);
}

const BandSegment* segmentAt(const BandPlan& plan, qint64 hz) {
    const auto& segments = plan.segments;
    // Every segment before this one starts at or below hz; the first of them,
    // going down, that still reaches hz is the highest-starting one holding it.
    auto it = std::upper_bound(segments.begin(), segments.end(), hz,
                               [](qint64 value, const BandSegment& s) { return value < s.lowHz; });
    while (it != segments.begin()) {
        --it;
        if (it->highHz >= hz) return &*it;
    }
    return nullptr;
}

QString bandPlanResource(int region) {
    if (region < 1 || region > 3) return QString();
    return QStringLiteral(":/bandplans/iaru-region-%1.csv").arg(region);
}

QString ownBandPlanPath() {
    // The folder QSettings("qv7m", "qv7m") keeps its file in, whatever name
    // the running application was given.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/qv7m/bandplan.csv");
}

}  // namespace qv7m
