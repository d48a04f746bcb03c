// SPDX-License-Identifier: GPL-3.0-or-later
// qv7m: a band scope for the Yaesu FT-1000MP. Its configuration is
// "qv-7m.ini" in the working directory, and the radio is on the port
// COM1..COM4 chosen in the window. The command line only adds what goes
// beyond the scope itself: a record of the sweeps, the fast sweep, a
// rigctld server and a DX cluster's spots.

#include "app/main_window.h"
#include "app/messages.h"
#include "radio/serial_line.h"
#include "sharing/rigctl_server.h"
#include "spots/dx_cluster.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QHostAddress>
#include <cstdio>

namespace {

struct Options {
    QString recordFile;
    QString cluster;
    bool fast = false;
    bool serve = false;
    QHostAddress listen{QHostAddress::LocalHost};
    quint16 port = 4532;
};

// Exits with status 2 on a one-line error, 0 after --help or --version.
Options parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A band scope for the Yaesu FT-1000MP."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Append every completed sweep to FILE (rtl_power CSV)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption serve(QStringLiteral("rigctld"),
                                   QStringLiteral("Share the radio over Hamlib's network rig protocol."));
    const QCommandLineOption port(QStringLiteral("rigctld-port"),
                                  QStringLiteral("TCP port of the rigctld server (default 4532)."), QStringLiteral("N"),
                                  QStringLiteral("4532"));
    const QCommandLineOption listen(QStringLiteral("rigctld-listen"),
                                    QStringLiteral("Address the rigctld server listens on (default 127.0.0.1)."),
                                    QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption fast(QStringLiteral("fast"),
                                  QStringLiteral("Sweep fast for this run: two frames a step at the radio's "
                                                 "pacing 0 (the plot's menu item \"Fast sweep\")."));
    const QCommandLineOption cluster(QStringLiteral("dx-cluster"),
                                     QStringLiteral("Show the spots of the telnet DX cluster at HOST:PORT, logged in "
                                                    "with the settings file's callsign."),
                                     QStringLiteral("HOST:PORT"));
    parser.addOptions({record, fast, serve, port, listen, cluster});
    auto fail = [](const QString& error) {
        std::fprintf(stderr, "qv7m: %s (see --help)\n", qPrintable(error));
        std::exit(2);
    };
    if (!parser.parse(arguments)) fail(parser.errorText());
    if (parser.isSet(help)) {
        // Qt's own options are not taken here: no line for them.
        QStringList lines =
            parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("qv7m")).split(u'\n');
        lines.removeIf([](const QString& l) { return l.contains(QStringLiteral("--help-all")); });
        std::fputs(qPrintable(lines.join(u'\n')), stdout);
        std::exit(0);
    }
    if (parser.isSet(version)) {
        std::printf("qv7m %s\n", QV7M_VERSION);
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    Options o;
    o.recordFile = parser.value(record);
    if (parser.isSet(record) && o.recordFile.isEmpty()) fail(QStringLiteral("--record needs a file name"));
    o.serve = parser.isSet(serve);
    o.fast = parser.isSet(fast);
    o.cluster = parser.value(cluster);
    if (parser.isSet(cluster) && !qv7m::parseHostPort(o.cluster))
        fail(QStringLiteral("bad --dx-cluster '%1': not HOST:PORT").arg(o.cluster));
    bool ok = false;
    const uint n = parser.value(port).toUInt(&ok);
    if (!ok || n == 0 || n > 65535)
        fail(QStringLiteral("bad --rigctld-port '%1': not a port 1..65535").arg(parser.value(port)));
    o.port = quint16(n);
    if (!o.listen.setAddress(parser.value(listen)))
        fail(QStringLiteral("bad --rigctld-listen '%1': not an IP address").arg(parser.value(listen)));
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    // Before the window system is reached, so that --help and a bad option
    // answer on a machine without a display too.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const Options options = parseCommandLine(arguments);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qv7m"));
    QApplication::setApplicationVersion(QStringLiteral(QV7M_VERSION));
    // No display name: Qt would append it to the window's caption.
    QApplication::setDesktopFileName(QStringLiteral("org.qv7m.qv7m"));
    // One window; it ends the program itself (Quit or closing it).
    QApplication::setQuitOnLastWindowClosed(false);

    qv7m::AlignedLink link(qv7m::makeSerialLine());
    qv7m::BoxPresenter messages;
    qv7m::MainWindow form(link, messages);
    messages.setParent(&form);
    if (!options.recordFile.isEmpty()) form.recordTo(options.recordFile);
    if (options.fast) form.setFastSweep(true);
    qv7m::RigctlServer server;
    if (options.serve) {
        QString error;
        if (server.listen(options.listen, options.port, &error))
            form.shareRadioWith(server);
        else
            messages.show(QStringLiteral("Cannot share the radio on %1 port %2: %3")
                              .arg(options.listen.toString())
                              .arg(options.port)
                              .arg(error));
    }
    form.load();  // before the window is first shown, as the form's load event
    if (form.ended()) return 0;
    if (!options.cluster.isEmpty()) form.connectCluster(options.cluster);
    form.show();
    return app.exec();
}
