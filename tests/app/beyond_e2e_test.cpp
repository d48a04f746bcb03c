// SPDX-License-Identifier: GPL-3.0-or-later
// What goes beyond the scope itself, on the real serial port at the hardest
// radio timing (pacing before every byte, 40 ms latency, 10 ms jitter, 16 ms
// batches), in either sweep, and on frequencies that are not round: a click
// three quarters across the plot retunes VFO-A once click to tune is on,
// Hamlib's own network client reads and sets the radio while the scan runs,
// every recorded sweep is the radio's and dated when it started, and the
// plot's menu saves the last sweep and the picture.

#include "faults/fault_harness.h"
#include "files/preferences.h"
#include "sharing/rigctl_server.h"
#include "sim/band.h"

#include <QFileDialog>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QWindow>

using namespace faults;

namespace {

class Beyond : public Program {
protected:
    // Runs `rigctl -m 2` against the server without blocking the scan's events.
    void ask(const QStringList& command) {
        out.clear();
        rigctl.start(QStringLiteral("rigctl"),
                     QStringList{"-m", "2", "-r", QStringLiteral("127.0.0.1:%1").arg(server.serverPort())} + command);
    }
    bool answered() {
        if (rigctl.state() != QProcess::NotRunning) return false;
        out = QString::fromLatin1(rigctl.readAllStandardOutput()).trimmed();
        return true;
    }
    void clickPlotAt(double share) {
        mouseOnPlot(QEvent::MouseButtonPress, QPointF(std::lround(share * child(*form, "plot")->width()), 50));
    }
    // Chooses the item in the plot's menu and the file in the dialog it opens.
    void saveFromMenu(const QString& item, const QString& path) {
        chooseFromMenu(item);
        QFileDialog* dialog = form->findChildren<QFileDialog*>().last();
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    }

    qv7m::RigctlServer server;
    QProcess rigctl;
    QString out;
};

// In the standard sweep and in the fast one.
class BeyondInEitherSweep : public Beyond, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_P(BeyondInEitherSweep, ClickToTuneRigctlARecordOfEverySweepAndTheMenusFiles) {
    if (QStandardPaths::findExecutable(QStringLiteral("rigctl")).isEmpty()) GTEST_SKIP() << "no rigctl";
    writeIni("0\r\n0\r\n1\r\n0\r\nN0CALL\r\n");  // 10 kHz, 250 Hz, area graph
    simtest::Sim radio(
        {"--vfoa", "14252470", "--pacing", "before", "--latency", "40", "--jitter", "10", "--batch", "16"});
    linkTo(radio);
    QString error;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0, &error)) << qPrintable(error);
    const QString record = work.filePath(QStringLiteral("sweeps.csv"));
    ASSERT_TRUE(writeFile(record, "earlier\n"));
    qv7m::preferences::writeFlag(qv7m::preferences::kClickToTune, false);
    start();
    form->setFastSweep(GetParam());
    form->recordTo(record);
    form->shareRadioWith(server);
    std::vector<QDateTime> started;  // by the clock, as each sweep's window is shown
    sweep().onSweepStarted = [&] { started.push_back(QDateTime::currentDateTime()); };

    int phase = 0;
    long long sweepAtRetune = 0;
    const bool reached = scanUntil(
        [&] {
            switch (phase) {
            case 0:  // the first sweep is over: a click tunes only once click to tune is on
                if (sweep().sweepsStarted() < 2) return false;
                EXPECT_EQ(text(*form, "lowEdgeLabel"), "14247470 Hz");
                clickPlotAt(0.25);
                chooseFromMenu(QStringLiteral("Click to tune"));
                clickPlotAt(0.75);
                ++phase;
                return false;
            case 1:
                if (text(*form, "centreLabel") != "14254970 Hz") return false;
                ask({"f"});
                ++phase;
                return false;
            case 2:
                if (!answered()) return false;
                EXPECT_EQ(out, "14254970");
                ask({"F", "7031230"});
                ++phase;
                return false;
            case 3:
                if (!answered()) return false;
                EXPECT_EQ(rigctl.exitCode(), 0);
                sweepAtRetune = sweep().sweepsStarted();
                ask({"f"});
                ++phase;
                return false;
            case 4:
                if (!answered()) return false;
                EXPECT_EQ(out, "7031230");
                ++phase;
                return false;
            default:  // a whole sweep around the new frequency, then stop
                if (sweep().sweepsStarted() < sweepAtRetune + 2) return false;
                click(*form, "setupButton");
                return true;
            }
        },
        120);
    ASSERT_TRUE(reached) << "stuck in phase " << phase;
    EXPECT_TRUE(messages.shown.isEmpty());
    std::vector<QByteArray> tunedA;  // the click's, then rigctld's
    for (const simlog::Frame& f : logOf(radio)) {
        if (f.opcode() == 0x0A) tunedA.push_back(f.bytes);
    }
    EXPECT_EQ(tunedA, (std::vector<QByteArray>{QByteArray::fromHex("975442010A"), QByteArray::fromHex("233170000A")}));

    // Every completed sweep is a line after what the file held, dated when it started;
    // each reading is the radio's at its step.
    const qv7m::sim::Meter truth(qv7m::sim::builtinBand(), 1);
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.takeFirst(), "earlier");
    ASSERT_EQ(lines.takeLast(), "");
    ASSERT_GE(lines.size(), 4);
    ASSERT_EQ(size_t(lines.size()), started.size() - 1) << "all but the sweep cut short";
    for (int n = 0; n < lines.size(); ++n) {
        const QList<QByteArray> f = lines[n].split(',');
        ASSERT_EQ(f.size(), 6 + 41) << lines[n].constData();
        const QString when = QString::fromLatin1(f[0].trimmed() + ' ' + f[1].trimmed());
        const QDateTime at = QDateTime::fromString(when, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        EXPECT_TRUE(at.isValid()) << qPrintable(when);
        EXPECT_LE(std::abs(at.secsTo(started[size_t(n)])), 2) << qPrintable(when);
        const qint64 low = f[2].toLongLong();
        const qint64 step = f[4].toLongLong();
        EXPECT_EQ(f[3].toLongLong() - low, 10000);
        EXPECT_EQ(step, 250);
        EXPECT_EQ(f[5].trimmed(), "1");
        for (int i = 0; i < 41; ++i)
            EXPECT_EQ(f[6 + i].trimmed().toInt(), truth.reading(low + i * step)) << "at " << low + i * step << " Hz";
    }
    EXPECT_EQ(lines.last().split(',')[2].trimmed(), "7026230") << "the last sweep centres on the radio's new frequency";

    // The last sweep saved as CSV, and the plot with its scale strip as a picture, through the plot's menu.
    const QString csv = work.filePath(QStringLiteral("last.csv"));
    const QString png = work.filePath(QStringLiteral("plot.png"));
    saveFromMenu(QStringLiteral("Save sweep\u2026"), csv);
    saveFromMenu(QStringLiteral("Save picture\u2026"), png);
    const QList<QByteArray> rows = fileBytes(csv).split('\n');
    ASSERT_EQ(rows.size(), 1 + 41 + 1);
    EXPECT_EQ(rows[0], "Hz,reading");
    for (int i = 0; i < 41; ++i) {
        const int hz = 7026230 + 250 * i;
        EXPECT_EQ(rows[1 + i], QByteArray::number(hz) + ',' + QByteArray::number(truth.reading(hz)));
    }
    EXPECT_EQ(rows.last(), "");
    const QImage picture(png, "PNG");
    const QRect plot = child(*form, "plot")->geometry();
    EXPECT_EQ(picture.size(), plot.united(child(*form, "scaleStrip")->geometry()).size());
    const QImage drawn = child<qv7m::PictureBox>(*form, "plot")->surface().image();
    EXPECT_EQ(picture.copy(0, 0, plot.width(), plot.height()).convertToFormat(QImage::Format_RGB32),
              drawn.convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(messages.shown.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sweep, BeyondInEitherSweep, ::testing::Bool());

// Qt reads "[*]" in a caption as a "modified" mark; the callsign shows as the file holds it all the same.
TEST_F(Beyond, TheCaptionIsTheFilesCallsignAndARecordThatCannotBeWrittenIsReported) {
    writeIni(" 0 \r\n 0 \r\n 0 \r\n 0 \r\nDL[*]1X & co\r\n");
    start();
    form->winId();  // the caption as the window system is given it
    EXPECT_EQ(form->windowHandle()->title().toStdString(), "Yaesu FT-1000MP Bandscope QV-7M (DL[*]1X & co)");
    messages.shown.clear();
    form->recordTo(work.filePath(QStringLiteral("no such folder/sweeps.csv")));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("no such folder/sweeps.csv")));
    EXPECT_FALSE(form->ended());
}

TEST(CommandLine, AnUnknownOptionOrABadValueIsOneLineAndStatusTwo) {
    const QString program = QStringLiteral(QV7M_PROGRAM);
    for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"--rigctld-port", "70000"},
                                    QStringList{"--rigctld-listen", "nowhere"}, QStringList{"--record"}}) {
        QProcess p;
        p.start(program, args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << qPrintable(args.join(' '));
        EXPECT_EQ(p.readAllStandardError().count('\n'), 1) << qPrintable(args.join(' '));
    }
}
