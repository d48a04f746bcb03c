// The settings-file reader on any file.
//
// Whatever the file holds, the reader gives at most five lines, none longer
// than the cap and none holding a line end, and what the program would write
// back on "Quit" from what it read is a well-formed file: four index lines in
// display format and the callsign, each ending in CR LF, which reads back as
// the same settings.

#include "app/settingsfile.h"
#include "core/runtime_error.h"
#include "fuzz_common.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <cstdlib>

using namespace qv7m;

namespace {

// Where the file goes: one scratch folder for the whole run, in memory when
// the system has one.
const QString& scratchFile() {
    static QTemporaryDir* dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        auto* d = QDir(shm).exists() ? new QTemporaryDir(shm + QStringLiteral("/qv7m-fuzz-XXXXXX"))
                                     : new QTemporaryDir();
        if (!d->isValid()) std::abort();
        std::atexit([] { delete dir; });
        return d;
    }();
    static const QString path = dir->filePath(QStringLiteral("qv-7m.ini"));
    return path;
}

void writeRaw(const QString& path, const char* data, size_t size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    if (size > 0 && f.write(data, qint64(size)) != qint64(size)) std::abort();
}

SettingsText readBack(const QString& path) {
    try {
        return readSettingsFile(path);
    } catch (const RuntimeError& e) {
        FUZZ_CHECK(false, "reading the scratch file failed: %s", qPrintable(e.message()));
    }
    return {};
}

void checkShape(const SettingsText& text) {
    FUZZ_CHECK(text.lines.size() <= 5, "%d lines read", int(text.lines.size()));
    for (qsizetype i = 0; i < text.lines.size(); ++i) {
        const QString& line = text.lines[i];
        FUZZ_CHECK(line.size() <= kMaxSettingsLine, "line %d has %d characters", int(i + 1), int(line.size()));
        FUZZ_CHECK(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')),
                   "line %d holds a line end", int(i + 1));
    }
    FUZZ_CHECK(!text.lastLineLatin1 || text.lines.size() == 5, "a missing callsign marked as read byte for byte");
}

// What the form keeps of a line: the index if it names an item of the list, else the first item.
int16_t applied(const SettingsText& text, int line, int items) {
    if (line >= text.lines.size() || text.lines[line].trimmed().isEmpty()) return 0;
    const std::optional<int16_t> parsed = parseIndex(text.lines[line]);
    if (parsed) {
        // Whatever it parsed, written back in display format it parses the same.
        const QByteArray written = indexLine(*parsed);
        FUZZ_CHECK(written.endsWith("\r\n"), "index line without CR LF");
        const std::optional<int16_t> again = parseIndex(QString::fromLatin1(written.chopped(2)));
        FUZZ_CHECK(again && *again == *parsed, "index %d does not read back", int(*parsed));
    }
    return parsed && *parsed >= 0 && *parsed < items ? *parsed : int16_t(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Larger files only repeat what the cap already covers, slowly.
    if (size > 3 * kMaxSettingsLine + 64) return 0;
    const QString& path = scratchFile();
    writeRaw(path, reinterpret_cast<const char*>(data), size);

    const SettingsText text = readBack(path);
    checkShape(text);

    // Port, width, step, style: the lists have 4, 4, 4 and 3 items.
    const std::array<int16_t, 4> indices{applied(text, 0, 4), applied(text, 1, 4), applied(text, 2, 4),
                                         applied(text, 3, 3)};
    const bool hasCall = text.lines.size() >= 5;
    const QString ownerCall = hasCall ? text.lines[4] : QStringLiteral("N0CALL");
    const bool latin1 = hasCall && text.lastLineLatin1;

    const QByteArray out = settingsBytes(indices, ownerCall, latin1);
    static const QRegularExpression shape(QStringLiteral("\\A( [0-3] \r\n){3} [0-2] \r\n[^\r\n]*\r\n\\z"));
    FUZZ_CHECK(shape.match(QString::fromLatin1(out)).hasMatch(), "the file written back is not five lines");

    // Read back, the same settings come out.
    writeRaw(path, out.constData(), size_t(out.size()));
    const SettingsText again = readBack(path);
    checkShape(again);
    FUZZ_CHECK(again.lines.size() == 5, "the file written back reads as %d lines", int(again.lines.size()));
    for (int i = 0; i < 4; ++i) {
        const std::optional<int16_t> v = parseIndex(again.lines[i]);
        FUZZ_CHECK(v && *v == indices[size_t(i)], "line %d reads back as another index", i + 1);
    }
    FUZZ_CHECK(again.lines[4] == ownerCall, "the callsign does not read back the same");
    FUZZ_CHECK(again.lastLineLatin1 == latin1, "the callsign changes its encoding on the way back");
    return 0;
}
