// SPDX-License-Identifier: GPL-3.0-or-later
// The caption as the window system shows it: the built program on a real X
// server, the simulated radio on its COM1.

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

// The built program on a fresh X server in a folder of its own, with the settings file given:
// the caption's WM_NAME and _NET_WM_NAME as xprop prints them, in that order.
static QStringList captionShown(const QByteArray& settings) {
    QProcess x;  // on a display number of its own choosing, which it prints
    x.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    EXPECT_TRUE(x.waitForReadyRead(10000)) << x.readAllStandardError().toStdString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), ':' + QString::fromLatin1(x.readAllStandardOutput()).trimmed());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    simtest::Sim radio;
    QTemporaryDir work;
    EXPECT_TRUE(QFile::link(QString::fromStdString(radio.link), work.filePath(QStringLiteral("COM1"))));
    QFile ini(work.filePath(QStringLiteral("qv-7m.ini")));
    EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(settings);
    ini.close();
    QProcess program;
    program.setWorkingDirectory(work.path());
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(QV7M_PROGRAM), QStringList());
    QString window;
    for (int tries = 0; window.isEmpty() && tries < 200; ++tries) {
        QThread::msleep(100);
        window = output("xdotool", {"search", "--onlyvisible", "--class", "qv7m"}, env).section('\n', 0, 0);
    }
    EXPECT_FALSE(window.isEmpty()) << "no window shown: " << program.readAllStandardError().toStdString();
    QStringList values;
    const QString props = output("xprop", {"-id", window, "WM_NAME", "_NET_WM_NAME"}, env);
    for (const char* name : {"WM_NAME(", "_NET_WM_NAME("}) {
        QString value;
        for (const QString& line : props.split('\n')) {
            if (line.startsWith(QLatin1String(name))) value = line.section(QStringLiteral(" = "), 1);
        }
        values << value;
    }
    for (QProcess* p : {&program, &x}) {
        p->kill();
        p->waitForFinished();
    }
    return values;
}

static bool toolsThere() {
    for (const char* tool : {"Xvfb", "xprop", "xdotool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) return false;
    }
    return true;
}

// Qt reads "[*]" in a title as a "modified" mark; the callsign shows as the file holds it all the same.
TEST(Caption, ACallsignShowsExactlyAsTheFileHoldsIt) {
    if (!toolsThere()) GTEST_SKIP() << "Xvfb, xprop or xdotool missing: scripts/setup.sh installs them";
    const QStringList shown = captionShown(" 0 \r\n 0 \r\n 0 \r\n 0 \r\nDL[*]1X & co\r\n");
    const QString want = QStringLiteral("\"Yaesu FT-1000MP Bandscope QV-7M (DL[*]1X & co)\"");
    EXPECT_EQ(shown.value(0), want) << "WM_NAME";
    EXPECT_EQ(shown.value(1), want) << "_NET_WM_NAME";
}
