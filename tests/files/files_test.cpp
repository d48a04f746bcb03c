// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file as read and written, the record of the sweeps line by
// line, and the failures of the files the program writes that no end-to-end
// test reaches: a full disk, a picture that cannot be made. (A saved sweep:
// the end-to-end test.)
#include "core/runtime_error.h"
#include "files/picture_file.h"
#include "files/settingsfile.h"
#include "files/sweep_files.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <functional>

namespace qv7m {
namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

// The message of the File error that f throws; empty when it throws none.
QString fileErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::File);
        return e.message();
    }
    return QString();
}

// Started on 7 December at 21:05:09: every field of the date and time tells.
SweepResult threeSteps() {
    SweepResult sweep;
    sweep.started = QDateTime(QDate(2026, 12, 7), QTime(21, 5, 9));
    sweep.stepUnits = 25;
    sweep.frequencies = {703123, 703148, 703173};
    sweep.readings = {0, 153, 255};
    return sweep;
}

// Lines end at CR, CR LF or LF; the last may have none; a callsign that is
// not UTF-8 is read byte for byte and written back as it was.
TEST(Files, TheSettingsFileIsReadLineByLineAndWrittenBackAsItWas) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("qv-7m.ini"));
    const struct {
        QByteArray bytes;
        QStringList lines;
        bool latin1;
    } cases[] = {
        {" 2 \r\n 1 \r\n 3 \r\n 0 \r\nDL1ABC\r\n", {" 2 ", " 1 ", " 3 ", " 0 ", "DL1ABC"}, false},
        {" 1 \r 2 \n 3 \r 1 \rK1ABC", {" 1 ", " 2 ", " 3 ", " 1 ", "K1ABC"}, false},
        {"-1 \r\n 0 \r\n 0 \r\n 0 \r\nOE3XYZ/p [*] \xc3\xa4\r\n",
         {"-1 ", " 0 ", " 0 ", " 0 ", "OE3XYZ/p [*] \u00e4"},
         false},
        {" 0 \r\n 0 \r\n 0 \r\n 0 \r\nG\xe9RARD\r\n", {" 0 ", " 0 ", " 0 ", " 0 ", "G\u00e9RARD"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(c.bytes), c.bytes.size());
        f.close();
        const SettingsText text = readSettingsFile(file);
        ASSERT_EQ(text.lines, c.lines);
        EXPECT_EQ(text.lastLineLatin1, c.latin1);
        std::array<int16_t, 4> indices{};
        for (size_t i = 0; i < 4; ++i) indices[i] = parseIndex(c.lines[int(i)]).value_or(0);
        const QByteArray written = settingsBytes(indices, text.lines[4], text.lastLineLatin1);
        EXPECT_TRUE(written.startsWith(indexLine(indices[0]))) << written.toStdString();
        if (c.bytes.endsWith("\r\n")) {
            EXPECT_EQ(written, c.bytes);
        }
    }
}

TEST(Files, TheRecordGetsALinePerSweepAndSaysWhenItCannotGoOn) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sweeps.csv"));
    {
        QFile earlier(file);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        ASSERT_EQ(earlier.write("earlier\n"), 8);
    }
    SweepRecorder recorder;
    recorder.open(file);
    recorder.append(threeSteps());
    const QByteArray line = "2026-12-07, 21:05:09, 7031230, 7031730, 250, 1, 0, 153, 255\n";
    EXPECT_EQ(bytesOf(file), "earlier\n" + line) << "appended, and on disk after each sweep";
    recorder.append(threeSteps());
    EXPECT_EQ(bytesOf(file), "earlier\n" + line + line);

    // A full disk: reported once, then the file is closed.
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full";
    SweepRecorder full;
    full.open(QStringLiteral("/dev/full"));
    EXPECT_TRUE(fileErrorOf([&] { full.append(threeSteps()); }).startsWith("/dev/full: "));
    EXPECT_FALSE(full.isOpen());
}

TEST(Files, APictureThatCannotBeMadeIsAFailureAndNoFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none.png"));
    EXPECT_EQ(fileErrorOf([&] { savePicture(path, QImage()); }), path + ": nothing could be made to save");
    EXPECT_FALSE(QFileInfo::exists(path));
}

}  // namespace
}  // namespace qv7m
