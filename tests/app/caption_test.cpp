// The caption as the window system shows it: the built program on a real X
// server, the simulated radio on its COM1, and no settings file yet.

#include "sim/sim_harness.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

static QString output(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(Caption, AFirstStartShowsTheDefaultCallsign) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"xprop", "xdotool"})
        ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << ": scripts/setup.sh installs it";
    QProcess x;  // on a display number of its own choosing, which it prints
    x.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    ASSERT_TRUE(x.waitForReadyRead(10000)) << x.readAllStandardError().toStdString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), ':' + QString::fromLatin1(x.readAllStandardOutput()).trimmed());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    simtest::Sim radio;
    QTemporaryDir work;
    ASSERT_TRUE(QFile::link(QString::fromStdString(radio.link), work.filePath(QStringLiteral("COM1"))));
    QProcess program;
    program.setWorkingDirectory(work.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QV7M_PROGRAM), QStringList());
    QString window;
    for (int tries = 0; window.isEmpty() && tries < 200; QThread::msleep(100), ++tries)
        window = output("xdotool", {"search", "--onlyvisible", "--class", "qv7m"}, env).section('\n', 0, 0);
    ASSERT_FALSE(window.isEmpty()) << "no window shown: " << program.readAllStandardError().toStdString();
    const QString props = output("xprop", {"-id", window, "WM_NAME", "_NET_WM_NAME"}, env);
    for (const char* name : {"WM_NAME(", "_NET_WM_NAME("}) {
        QString value;
        for (const QString& line : props.split('\n'))
            if (line.startsWith(QLatin1String(name))) value = line.section(QStringLiteral(" = "), 1);
        EXPECT_EQ(value, QStringLiteral("\"Yaesu FT-1000MP Bandscope QV-7M (N0CALL)\"")) << props.toStdString();
    }
    for (QProcess* p : {&program, &x}) p->kill(), p->waitForFinished();
}
