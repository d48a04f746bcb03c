// SPDX-License-Identifier: GPL-3.0-or-later
#include "sharing/radio_sharing.h"

#include <QMetaObject>

namespace qv7m {

RadioSharing::RadioSharing(RigctlServer& server, ScanWorker& worker, QObject* parent)
    : QObject(parent), server_(&server), worker_(worker), radio_(std::make_unique<SharedRadio>(worker)) {
    connect(&server, &RigctlServer::command, this, &RadioSharing::run);
    connect(&server, &RigctlServer::clientGone, this, [this](quint64 client) {
        if (waiting_.count(client) == 0) return;
        const std::lock_guard<std::mutex> lock(gone_->mutex);
        gone_->clients.insert(client);
    });
}

void RadioSharing::run(quint64 client, const QByteArray& line) {
    ++waiting_[client];
    SharedRadio* radio = radio_.get();
    std::shared_ptr<Gone> gone = gone_;
    QPointer<RadioSharing> self(this);
    // The job holds no reference to this object's members beyond the radio,
    // which the worker outlives; the reply comes back queued.
    worker_.post([radio, gone, self, client, line] {
        rigctl::Reply reply;
        if (!gone->contains(client)) reply = rigctl::execute(*radio, line);
        if (reply.quit) {
            // What the client sent after its quit goes nowhere.
            const std::lock_guard<std::mutex> lock(gone->mutex);
            gone->clients.insert(client);
        }
        QMetaObject::invokeMethod(self.data(), [self, client, reply] {
            if (self) self->answered(client, reply.bytes, reply.quit);
        });
    });
}

void RadioSharing::answered(quint64 client, const QByteArray& bytes, bool quit) {
    if (--waiting_[client] == 0) {
        waiting_.erase(client);
        const std::lock_guard<std::mutex> lock(gone_->mutex);
        gone_->clients.erase(client);
    }
    if (server_) server_->reply(client, bytes, quit);
}

}  // namespace qv7m
