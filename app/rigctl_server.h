#pragma once
// A server for Hamlib's network rig protocol (the one rigctld speaks), so that
// loggers and digital-mode programs can follow and tune the radio while the
// scope sweeps. The radio may only be used between two sweep steps, so the
// server only queues what clients ask; the program runs the queue with serve().

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace qv7m {

// What the server may ask of the scope. Called only from RigctlServer::serve().
class RigAccess {
public:
    virtual ~RigAccess() = default;
    // False while the radio's port is not usable: every command then gets an I/O error.
    virtual bool available() = 0;
    // VFO-A in Hz from a status read no older than 1 s; nullopt when the radio did not answer.
    virtual std::optional<int64_t> frequencyHz() = 0;
    // Tunes VFO-A; false when the radio could not be told.
    virtual bool setFrequencyHz(int64_t hz) = 0;
    // The operating mode as Hamlib names it ("USB", "LSB", "CW", "AM", "FM", "RTTY", "PKTUSB", ...); nullopt on
    // failure.
    virtual std::optional<QString> mode() = 0;
    // The last meter reading in dB relative to S9; nullopt when there is none yet.
    virtual std::optional<int> strengthDb() = 0;
};

class RigctlServer : public QObject {
    Q_OBJECT
public:
    static constexpr int maxClients = 8;
    static constexpr int maxLineBytes = 1024;

    explicit RigctlServer(QObject* parent = nullptr);

    // Starts accepting clients; on failure returns false and says why in *error.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    // The port actually listened on (useful after listening on port 0).
    quint16 serverPort() const;

    bool hasPending() const { return !queue_.empty(); }
    // Runs every command queued so far, in arrival order, and writes the
    // replies. A call made while serve() is already running returns at once.
    void serve(RigAccess& rig);

signals:
    // Commands are waiting for serve().
    void pending();

private:
    struct Client {
        QByteArray partial;       // bytes of the line not yet ended
        bool discarding = false;  // the rest of an overlong line is thrown away
        int queued = 0;
    };
    struct Command {
        QPointer<QTcpSocket> socket;
        QByteArray line;  // empty: the line was too long
    };

    void accept();
    bool readFrom(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    void resume();
    QByteArray execute(RigAccess& rig, const QByteArray& line, bool* quit);

    QTcpServer* server_;
    std::map<QTcpSocket*, Client> clients_;
    std::deque<Command> queue_;
    bool serving_ = false;
};

}  // namespace qv7m
