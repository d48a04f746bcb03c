// SPDX-License-Identifier: GPL-3.0-or-later
// The settings reader on any file gives at most five lines, none longer than
// the cap or holding a line end; what "Quit" writes back from them reads back
// as the same settings.

#include "files/settingsfile.h"
#include "fuzz_common.h"

#include <QTemporaryDir>

using namespace qv7m;

static SettingsText writeAndRead(const char* data, qsizetype size) {
    // In memory where the system has it: the fuzzer writes a file per input.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/qv7m-fuzz-XXXXXX")
                                                                       : QDir::tempPath() + "/qv7m-fuzz-XXXXXX");
    QFile f(dir.filePath(QStringLiteral("qv-7m.ini")));
    if (!f.open(QIODevice::WriteOnly) || f.write(data, size) != size || !f.flush()) std::abort();
    const SettingsText text = readSettingsFile(f.fileName());
    FUZZ_CHECK(text.lines.size() <= 5, "%d lines read", int(text.lines.size()));
    for (const QString& line : text.lines) {
        FUZZ_CHECK(line.size() <= kMaxSettingsLine, "a line of %d characters read", int(line.size()));
        FUZZ_CHECK(!line.contains('\r'), "a line of %d characters read", int(line.size()));
        FUZZ_CHECK(!line.contains('\n'), "a line of %d characters read", int(line.size()));
    }
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 3 * kMaxSettingsLine + 64) return 0;  // larger files only repeat what the cap covers, slowly
    const SettingsText text = writeAndRead(reinterpret_cast<const char*>(data), qsizetype(size));
    // What the form keeps: port, width, step and style (lists of 4, 4, 4 and 3
    // items) where a line names an item, else the first item; the callsign.
    std::array<int16_t, 4> indices{};
    for (int i = 0; i < 4 && i < text.lines.size(); ++i) {
        const std::optional<int16_t> v = parseIndex(text.lines[i]);
        if (v && *v >= 0 && *v < (i == 3 ? 3 : 4)) indices[size_t(i)] = *v;
    }
    const bool latin1 = text.lines.size() == 5 && text.lastLineLatin1;
    const QString call = text.lines.size() == 5 ? text.lines[4] : QStringLiteral("N0CALL");
    const QByteArray out = settingsBytes(indices, call, latin1);
    FUZZ_CHECK(out.endsWith("\r\n"), "\"Quit\" would write %s", out.toHex(' ').data());
    FUZZ_CHECK(out.count("\r\n") == 5, "\"Quit\" would write %s", out.toHex(' ').data());

    const SettingsText again = writeAndRead(out.constData(), out.size());
    FUZZ_CHECK(again.lines.size() == 5, "the callsign does not read back as it was");
    FUZZ_CHECK(again.lines[4] == call, "the callsign does not read back as it was");
    FUZZ_CHECK(again.lastLineLatin1 == latin1, "the callsign does not read back as it was");
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(parseIndex(again.lines[i]) == indices[size_t(i)], "line %d reads back as another index", i + 1);
    return 0;
}
