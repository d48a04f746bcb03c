// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A telnet DX cluster, on the window's thread: logs in with the owner's call
// sign, reads the spots it sends, and after a lost connection tries again
// with growing pauses. Nothing here waits: a flood of lines is read in slices
// of kSliceBytes, one an event-loop turn, and a line over kMaxLineBytes is
// thrown away as it arrives.

#include "spots/spot.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <algorithm>
#include <optional>
#include <utility>

class QTcpSocket;
class QTimer;

namespace qv7m {

// "HOST:PORT" or "[IPv6]:PORT" as host and port; nothing for a missing host or a port out of 1..65535.
std::optional<std::pair<QString, quint16>> parseHostPort(const QString& text);

class DxCluster : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Connected };
    Q_ENUM(State)

    static constexpr int kMaxLineBytes = 1024;
    static constexpr int kSliceBytes = 8 * 1024;
    // The socket reads no further ahead than this; TCP holds back the rest.
    static constexpr int kReadBufferBytes = 64 * 1024;
    static constexpr int kConnectTimeoutMs = 15'000;
    static constexpr int kDefaultFirstPauseMs = 2'000;
    static constexpr int kMaxPauseMs = 60'000;
    // A connection that lasted this long was a good one: the pauses start again from the first.
    static constexpr int kGoodConnectionMs = 60'000;

    explicit DxCluster(QObject* parent = nullptr);
    ~DxCluster() override;

    // Connects, and keeps reconnecting until disconnectFromCluster(). A call
    // sign that could not be sent as one (empty, spaces, line ends) is not
    // sent: the state stays Disconnected and says why.
    void connectTo(const QString& host, quint16 port, const QString& callsign);
    void disconnectFromCluster();

    State state() const { return state_; }
    QString host() const { return host_; }
    quint16 port() const { return port_; }
    // The pause before the first retry; each further one doubles, up to kMaxPauseMs.
    void setFirstRetryPause(int ms) { firstPauseMs_ = std::max(ms, 10); }

signals:
    void spotReceived(const qv7m::Spot& spot);
    // The cluster turned the call sign down; its words, as plain text. Retries
    // go on at the longest pause.
    void loginRefused(const QString& reason);
    // A plain-text line for the window: where it connects, or why it is not
    // connected and when it tries again.
    void stateChanged(qv7m::DxCluster::State state, const QString& message);

private:
    void attempt();
    void connected();
    void readSlice();
    void consume(const QByteArray& bytes);
    void takeByte(char byte);
    void takeLine(const QByteArray& line);
    void sendLogin();
    void lost(const QString& reason);

    QTcpSocket* socket_;
    QTimer* retry_;
    QTimer* connectTimeout_;
    QTimer* drain_;  // zero-time: the next slice of what the socket holds

    QString host_;
    quint16 port_ = 0;
    QByteArray callsign_;
    State state_ = State::Disconnected;
    bool wanted_ = false;
    int firstPauseMs_ = kDefaultFirstPauseMs;
    int pauseMs_ = kDefaultFirstPauseMs;
    quint64 generation_ = 0;  // a connection's number: a slot that reconnects ends the old one's reading
    QElapsedTimer connectedFor_;

    // This connection's reading.
    enum class Telnet { Data, Command, Option, Sub, SubCommand };
    Telnet telnet_ = Telnet::Data;
    char telnetVerb_ = 0;
    QByteArray partial_;
    bool discarding_ = false;
    bool loginSent_ = false;
    bool heardAfterLogin_ = false;
    bool spotSeen_ = false;
    bool refused_ = false;
    QString refusal_;
};

}  // namespace qv7m
