// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rigctld server's clients served from the scan's thread: each command
// line goes there as a request, runs between two sweep steps (or at once when
// no scan runs), and its reply comes back to the server on its own thread.

#include "sharing/rigctl_server.h"
#include "sharing/shared_radio.h"

#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace qv7m {

class RadioSharing : public QObject {
    Q_OBJECT
public:
    // Both outlive this; the worker's thread may still run a command after
    // the server has gone, and its reply is then dropped.
    RadioSharing(RigctlServer& server, ScanWorker& worker, QObject* parent = nullptr);

private:
    // The clients gone while their commands waited: those never reach the
    // radio. Read on the scan's thread, written on this one.
    struct Gone {
        std::mutex mutex;
        std::set<quint64> clients;
        bool contains(quint64 client) {
            const std::lock_guard<std::mutex> lock(mutex);
            return clients.count(client) > 0;
        }
    };

    void run(quint64 client, const QByteArray& line);
    void answered(quint64 client, const QByteArray& bytes, bool quit);

    QPointer<RigctlServer> server_;
    ScanWorker& worker_;
    std::unique_ptr<SharedRadio> radio_;
    std::shared_ptr<Gone> gone_ = std::make_shared<Gone>();
    std::map<quint64, int> waiting_;  // commands sent to the scan's thread and not yet answered, by client
};

}  // namespace qv7m
