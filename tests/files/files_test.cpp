// The files the program writes: written whole one way, and every failure a
// File error that names the file and the system's reason.
#include "files/picture_file.h"
#include "files/settingsfile.h"
#include "files/sweep_files.h"
#include "files/whole_file.h"

#include <gtest/gtest.h>
#include <QDir>
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

SweepResult threeSteps() {
    SweepResult sweep;
    sweep.started = QDateTime(QDate(2026, 12, 7), QTime(21, 5, 9));
    sweep.stepUnits = 25;
    sweep.frequencies = {703000, 703025, 703050};
    sweep.readings = {0, 153, 255};
    return sweep;
}

class Files : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(Files, AWholeFileReplacesTheOldOneAndAFailureSaysWhy) {
    const QString file = path("sweep.csv");
    writeWholeFile(file, "old\n");
    writeWholeFile(file, "new\n");
    EXPECT_EQ(bytesOf(file), "new\n");

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.csv")));
    const QString folder = path("folder.csv");
    EXPECT_TRUE(fileErrorOf([&] { writeWholeFile(folder, "x"); }).startsWith(folder + ": "));
    const QString nowhere = path("no such folder/sweep.csv");
    const QString message = fileErrorOf([&] { writeWholeFile(nowhere, "x"); });
    EXPECT_TRUE(message.startsWith(nowhere + ": "));
    EXPECT_GT(message.size(), nowhere.size() + 2) << "the system's reason";
}

TEST_F(Files, TheSettingsFileKeepsItsOwnWording) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("qv-7m.ini")));
    const QString absolute = QDir::toNativeSeparators(QFileInfo(path("qv-7m.ini")).absoluteFilePath());
    const QString written = fileErrorOf([&] { writeSettingsFile(path("qv-7m.ini"), "x"); });
    EXPECT_TRUE(written.startsWith("Cannot write the settings file " + absolute + ": ")) << written.toStdString();
    const QString read = fileErrorOf([&] { readSettingsFile(path("none.ini")); });
    EXPECT_TRUE(read.startsWith("Cannot read the settings file ")) << read.toStdString();
    EXPECT_TRUE(read.contains("none.ini: ")) << read.toStdString();
}

TEST_F(Files, TheRecordGetsALinePerSweepAndSaysWhenItCannotGoOn) {
    SweepRecorder recorder;
    const QString nowhere = path("no such folder/sweeps.csv");
    EXPECT_TRUE(fileErrorOf([&] { recorder.open(nowhere); }).startsWith(nowhere + ": "));
    EXPECT_FALSE(recorder.isOpen());

    const QString file = path("sweeps.csv");
    {
        QFile earlier(file);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        ASSERT_EQ(earlier.write("earlier\n"), 8);
    }
    recorder.open(file);
    recorder.append(threeSteps());
    const QByteArray line = "2026-12-07, 21:05:09, 7030000, 7030500, 250, 1, 0, 153, 255\n";
    EXPECT_EQ(bytesOf(file), "earlier\n" + line) << "appended, and on disk after each sweep";
    recorder.append(threeSteps());
    EXPECT_EQ(bytesOf(file), "earlier\n" + line + line);

    // A full disk: reported once, then the file is closed.
    SweepRecorder full;
    if (!QFileInfo::exists(QStringLiteral("/dev/full"))) GTEST_SKIP() << "no /dev/full";
    full.open(QStringLiteral("/dev/full"));
    EXPECT_TRUE(fileErrorOf([&] { full.append(threeSteps()); }).startsWith("/dev/full: "));
    EXPECT_FALSE(full.isOpen());
}

TEST_F(Files, ASavedSweepAndASavedPicture) {
    saveSweep(path("last.csv"), threeSteps());
    EXPECT_EQ(bytesOf(path("last.csv")), "Hz,reading\n7030000,0\n7030250,153\n7030500,255\n");

    QImage plot(40, 10, QImage::Format_RGB32);
    plot.fill(Qt::green);
    savePicture(path("plot.png"), plot);
    const QImage back(path("plot.png"), "PNG");
    EXPECT_EQ(back.size(), plot.size());
    EXPECT_EQ(back.pixel(3, 3), plot.pixel(3, 3));

    const QString message = fileErrorOf([&] { savePicture(path("none.png"), QImage()); });
    EXPECT_EQ(message, path("none.png") + ": nothing could be made to save");
    EXPECT_FALSE(QFileInfo::exists(path("none.png")));
}

}  // namespace
}  // namespace qv7m
