// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A DX cluster on loopback: it offers to echo (telnet's WILL ECHO, which the
// client turns down before logging in), prompts for a call sign without a line
// end, and answers the first connection's login with `lines`; then it hangs up
// on that one if asked. Later connections only log in.

#include <QTcpServer>
#include <QTcpSocket>

namespace qv7m::test {

struct LoopbackCluster {
    explicit LoopbackCluster(QByteArray answer, bool hangUpAfter = true)
        : lines(std::move(answer)), hangUp(hangUpAfter) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            const bool first = logins.isEmpty();
            socket->write("Welcome to the test node\r\n\r\n\xff\xfb\x01login: ");
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, first] {
                if (!socket->canReadLine()) return;
                logins << socket->readLine();
                if (!first) return;
                socket->write(lines);
                if (hangUp) socket->disconnectFromHost();
            });
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server.serverPort()); }

    QByteArray lines;
    bool hangUp;
    QList<QByteArray> logins;
    QTcpServer server;
};

}  // namespace qv7m::test
