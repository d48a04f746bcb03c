// SPDX-License-Identifier: GPL-3.0-or-later
#include "sharing/rigctl_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <optional>

namespace qv7m {
namespace {

// Bytes a socket may hold unread before the kernel's flow control holds the
// client back.
constexpr qint64 kSocketReadBuffer = 4 * rigctl::kMaxLineBytes;

}  // namespace

RigctlServer::RigctlServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &RigctlServer::accept);
}

bool RigctlServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    if (server_->listen(address, port)) return true;
    if (error) *error = server_->errorString();
    return false;
}

quint16 RigctlServer::serverPort() const { return server_->serverPort(); }

void RigctlServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (clients_.size() >= static_cast<size_t>(maxClients)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = ++lastId_;
        clients_[id].socket = socket;
        socket->setReadBufferSize(kSocketReadBuffer);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { readFrom(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id, socket] {
            forget(id);
            socket->deleteLater();
        });
    }
}

void RigctlServer::readFrom(quint64 id) {
    auto found = clients_.find(id);
    // A reply given while this client's lines are being handed out: the loop
    // below reads on by itself.
    if (found == clients_.end() || found->second.reading) return;
    found->second.reading = true;
    char byte = 0;
    while (found->second.awaiting < maxAwaiting && found->second.socket->state() == QAbstractSocket::ConnectedState &&
           found->second.socket->getChar(&byte)) {
        std::optional<QByteArray> line = found->second.lines.take(byte);
        if (!line) continue;
        ++found->second.awaiting;
        emit command(id, *line);
        // Whoever ran the command may have cut the client off meanwhile.
        found = clients_.find(id);
        if (found == clients_.end()) return;
    }
    found->second.reading = false;
}

void RigctlServer::reply(quint64 id, const QByteArray& bytes, bool quit) {
    const auto found = clients_.find(id);
    if (found == clients_.end()) return;  // gone: nobody to tell
    Client& client = found->second;
    if (client.awaiting > 0) --client.awaiting;
    QTcpSocket* socket = client.socket;
    socket->write(bytes);
    if (quit) {
        forget(id);
        socket->disconnectFromHost();  // once the reply is out
    } else if (socket->bytesToWrite() > maxUnreadReplies) {
        forget(id);
        socket->abort();
    } else {
        // A client held back by its unanswered commands is read on.
        readFrom(id);
    }
}

void RigctlServer::forget(quint64 id) {
    if (clients_.erase(id) > 0) emit clientGone(id);
}

}  // namespace qv7m
