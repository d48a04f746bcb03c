// What goes beyond the scope itself, on the hardest radio timing (pacing
// before every byte, 40 ms latency, 10 ms jitter, 16 ms batches): a click
// three quarters across the plot retunes VFO-A, Hamlib's own network client
// reads and sets the radio while the scan runs, junk and a vanished client
// change nothing, and every recorded reading is the radio's.

#include "faults/fault_harness.h"
#include "files/preferences.h"
#include "sharing/rigctl_server.h"
#include "sim/band.h"

#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>

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
        QWidget* plot = child(*form, "plot");
        const QPointF at(std::lround(share * plot->width()), 50);
        QMouseEvent press(QEvent::MouseButtonPress, at, plot->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(plot, &press);
    }

    qv7m::RigctlServer server;
    QProcess rigctl;
    QString out;
};

}  // namespace

TEST_F(Beyond, ClickToTuneRigctlAndARecordOfEverySweep) {
    if (QStandardPaths::findExecutable(QStringLiteral("rigctl")).isEmpty()) GTEST_SKIP() << "no rigctl";
    QFile ini(work.filePath(QStringLiteral("qv-7m.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_GT(ini.write("0\r\n0\r\n1\r\n0\r\nN0CALL\r\n"), 0);
    ini.close();  // 10 kHz, 250 Hz, area graph
    simtest::Sim radio({"--pacing", "before", "--latency", "40", "--jitter", "10", "--batch", "16"});
    linkTo(radio);
    QString error;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0, &error)) << qPrintable(error);
    const QString record = work.filePath(QStringLiteral("sweeps.csv"));
    qv7m::preferences::writeFlag(qv7m::preferences::kClickToTune, true);
    start();
    form->recordTo(record);
    form->shareRadioWith(server);

    QTcpSocket junk;
    int phase = 0;
    long long sweepAtRetune = 0;
    const bool reached = scanUntil(
        [&] {
            const QString centre = text(*form, "centreLabel");
            switch (phase) {
            case 0:  // the first sweep is over: click three quarters across it
                if (sweep().sweepsStarted() < 2) return false;
                EXPECT_EQ(text(*form, "lowEdgeLabel"), "14245000 Hz");
                clickPlotAt(0.75);
                ++phase;
                return false;
            case 1:
                if (centre != "14252500 Hz") return false;
                ask({"f"});
                ++phase;
                return false;
            case 2:
                if (!answered()) return false;
                EXPECT_EQ(out, "14252500");
                ask({"F", "7035000"});
                ++phase;
                return false;
            case 3:
                if (!answered()) return false;
                EXPECT_EQ(rigctl.exitCode(), 0);
                sweepAtRetune = sweep().sweepsStarted();
                ask({"l", "STRENGTH"});
                ++phase;
                return false;
            case 4: {
                if (!answered()) return false;
                bool number = false;
                out.toInt(&number);
                EXPECT_TRUE(number) << qPrintable(out);
                // Junk, a line far over 1 KiB, then the client vanishes mid-command.
                junk.connectToHost(QHostAddress::LocalHost, server.serverPort());
                junk.waitForConnected(1000);
                junk.write(QByteArray("\x00\xff\x1b[2J\n", 7) + QByteArray(3000, 'F') + "\nF 1400");
                junk.flush();
                junk.abort();
                ask({"f"});
                ++phase;
                return false;
            }
            case 5:
                if (!answered()) return false;
                EXPECT_EQ(out, "7035000");
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

    // Every completed sweep is a line; each reading is the radio's at its step.
    const qv7m::sim::Meter truth(qv7m::sim::builtinBand(), 1);
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int lines = 0;
    int around7035 = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        const QList<QByteArray> f = line.split(',');
        ASSERT_EQ(f.size(), 6 + 41) << line.constData();
        const qint64 low = f[2].toLongLong();
        const qint64 high = f[3].toLongLong();
        const qint64 step = f[4].toLongLong();
        EXPECT_EQ(high - low, 10000);
        EXPECT_EQ(step, 250);
        EXPECT_EQ(f[5].trimmed(), "1");
        around7035 += low == 7030000 && high == 7040000;
        for (int i = 0; i < 41; ++i)
            EXPECT_EQ(f[6 + i].trimmed().toInt(), truth.reading(low + i * step)) << "at " << low + i * step << " Hz";
        ++lines;
    }
    EXPECT_GE(lines, 4);
    EXPECT_GE(around7035, 1);
}

TEST_F(Beyond, ARecordThatCannotBeWrittenIsReportedAndTheScopeGoesOn) {
    start();
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
    QProcess version;
    version.start(program, {"--version"});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_TRUE(version.readAllStandardOutput().startsWith("qv7m "));
}
