// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rigctld server's sockets, on the window's thread: it takes up to
// maxClients clients, cuts what each sends into command lines and hands them
// out as command() in arrival order. Whoever holds the radio runs each line
// (rigctl::execute) and hands the answer back to reply().

#include "sharing/rigctl_protocol.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <map>

class QTcpServer;
class QTcpSocket;

namespace qv7m {

class RigctlServer : public QObject {
    Q_OBJECT
public:
    static constexpr int maxClients = 8;
    // A client with this many commands awaiting replies is not read further
    // until replies come back, so a flood of short lines cannot pile up.
    static constexpr int maxAwaiting = 32;
    // A client that does not read its replies is cut off past this.
    static constexpr qint64 maxUnreadReplies = 64 * 1024;

    explicit RigctlServer(QObject* parent = nullptr);

    // Starts accepting clients; on failure returns false and says why in *error.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    // The port actually listened on (useful after listening on port 0).
    quint16 serverPort() const;

signals:
    // A client's command line, without its line end; empty for a line that
    // was too long. Clients are numbered from 1 and never reused.
    void command(quint64 client, const QByteArray& line);
    // The client is gone (it left, asked to quit, or was cut off): its
    // commands not yet run need not be, and replies to it are dropped.
    void clientGone(quint64 client);

public slots:
    // Sends the reply to a command; disconnects the client after it when it
    // asked to quit.
    void reply(quint64 client, const QByteArray& bytes, bool quit);

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        rigctl::LineSplitter lines;
        int awaiting = 0;      // commands handed out and not yet replied to
        bool reading = false;  // readFrom() is running for it
    };

    void accept();
    void readFrom(quint64 id);
    void forget(quint64 id);

    QTcpServer* server_;
    std::map<quint64, Client> clients_;
    quint64 lastId_ = 0;
};

}  // namespace qv7m
