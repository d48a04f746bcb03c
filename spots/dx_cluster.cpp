// SPDX-License-Identifier: GPL-3.0-or-later
#include "spots/dx_cluster.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace qv7m {
namespace {

// Telnet's command bytes (RFC 854).
constexpr char kIac = char(255);
constexpr char kDont = char(254);
constexpr char kDo = char(253);
constexpr char kWont = char(252);
constexpr char kWill = char(251);
constexpr char kSb = char(250);
constexpr char kSe = char(240);

constexpr int kMaxReasonChars = 200;

// The cluster asks for the call sign without ending the line.
bool isLoginPrompt(const QByteArray& bytes) {
    const QByteArray text = bytes.trimmed().toLower();
    return text.endsWith("login:") || text.endsWith("call:") || text.endsWith("callsign:") ||
           text.contains("please enter your call");
}

// Before any spot, these are the cluster turning the call sign down.
bool isRefusal(const QByteArray& line) {
    const QByteArray text = line.toLower();
    return text.contains("is not a valid callsign") || text.contains("invalid callsign") ||
           text.contains("not allowed") || text.contains("sorry");
}

// Only what a call sign (with an SSID) is made of: nothing that could end the line or send a command.
std::optional<QByteArray> loginCall(const QString& callsign) {
    const QByteArray call = callsign.trimmed().toUpper().toLatin1();
    if (call.size() < 3 || call.size() > 20) return std::nullopt;
    for (char c : call) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-';
        if (!ok) return std::nullopt;
    }
    return call;
}

}  // namespace

std::optional<std::pair<QString, quint16>> parseHostPort(const QString& text) {
    const QString t = text.trimmed();
    const qsizetype colon = t.lastIndexOf(u':');
    if (colon <= 0) return std::nullopt;
    QString host = t.left(colon);
    const QString portText = t.mid(colon + 1);
    if (host.startsWith(u'[') && host.endsWith(u']')) {
        host = host.mid(1, host.size() - 2);
    } else if (host.contains(u':')) {
        return std::nullopt;  // a bare IPv6 address is ambiguous with its port
    }
    if (host.isEmpty()) return std::nullopt;
    for (QChar c : host) {
        if (c.isSpace() || c.unicode() < 0x21) return std::nullopt;
    }
    if (portText.isEmpty() || portText.size() > 5) return std::nullopt;
    for (QChar c : portText) {
        if (c < u'0' || c > u'9') return std::nullopt;
    }
    const int port = portText.toInt();
    if (port < 1 || port > 65535) return std::nullopt;
    return std::make_pair(host, quint16(port));
}

DxCluster::DxCluster(QObject* parent)
    : QObject(parent),
      socket_(new QTcpSocket(this)),
      retry_(new QTimer(this)),
      connectTimeout_(new QTimer(this)),
      drain_(new QTimer(this)) {
    qRegisterMetaType<qv7m::Spot>();
    socket_->setReadBufferSize(kReadBufferBytes);
    retry_->setSingleShot(true);
    connectTimeout_->setSingleShot(true);
    drain_->setSingleShot(true);
    drain_->setInterval(0);
    connect(socket_, &QTcpSocket::connected, this, &DxCluster::connected);
    connect(socket_, &QTcpSocket::readyRead, this, [this] {
        if (!drain_->isActive()) readSlice();
    });
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] { lost(socket_->errorString()); });
    connect(socket_, &QTcpSocket::disconnected, this, [this] { lost(tr("the cluster closed the connection")); });
    connect(retry_, &QTimer::timeout, this, &DxCluster::attempt);
    connect(connectTimeout_, &QTimer::timeout, this, [this] { lost(tr("no answer")); });
    connect(drain_, &QTimer::timeout, this, &DxCluster::readSlice);
}

DxCluster::~DxCluster() {
    socket_->disconnect(this);
    socket_->abort();
}

void DxCluster::connectTo(const QString& host, quint16 port, const QString& callsign) {
    disconnectFromCluster();
    const std::optional<QByteArray> call = loginCall(callsign);
    if (!call) {
        emit stateChanged(State::Disconnected, tr("No call sign to log in to the DX cluster with"));
        return;
    }
    host_ = host;
    port_ = port;
    callsign_ = *call;
    wanted_ = true;
    pauseMs_ = firstPauseMs_;
    attempt();
}

void DxCluster::disconnectFromCluster() {
    const bool was = wanted_ || state_ != State::Disconnected;
    wanted_ = false;
    ++generation_;
    retry_->stop();
    connectTimeout_->stop();
    drain_->stop();
    state_ = State::Disconnected;
    socket_->abort();
    if (was) emit stateChanged(State::Disconnected, tr("Disconnected from the DX cluster"));
}

void DxCluster::attempt() {
    ++generation_;
    telnet_ = Telnet::Data;
    partial_.clear();
    discarding_ = false;
    loginSent_ = false;
    heardAfterLogin_ = false;
    spotSeen_ = false;
    refused_ = false;
    refusal_.clear();
    connectedFor_.invalidate();
    state_ = State::Connecting;
    emit stateChanged(state_, tr("Connecting to %1:%2").arg(host_).arg(port_));
    if (state_ != State::Connecting) return;  // the slot disconnected
    connectTimeout_->start(kConnectTimeoutMs);
    socket_->connectToHost(host_, port_);
}

void DxCluster::connected() {
    connectTimeout_->stop();
    state_ = State::Connected;
    connectedFor_.start();
    emit stateChanged(state_, tr("Connected to %1:%2").arg(host_).arg(port_));
}

void DxCluster::readSlice() {
    if (state_ != State::Connected) return;
    consume(socket_->read(kSliceBytes));
    if (refused_) {
        lost(tr("login refused: %1").arg(refusal_));
    } else if (state_ == State::Connected && socket_->bytesAvailable() > 0) {
        drain_->start();
    }
}

void DxCluster::consume(const QByteArray& bytes) {
    const quint64 generation = generation_;
    for (char byte : bytes) {
        takeByte(byte);
        // A slot may have disconnected or reconnected; the rest belongs to no one.
        if (generation != generation_ || refused_) return;
    }
    if (!loginSent_ && !discarding_ && isLoginPrompt(partial_)) sendLogin();
}

void DxCluster::takeByte(char byte) {
    switch (telnet_) {
    case Telnet::Data:
        if (byte == kIac) {
            telnet_ = Telnet::Command;
            return;
        }
        break;
    case Telnet::Command:
        telnet_ = Telnet::Data;
        if (byte == kWill || byte == kWont || byte == kDo || byte == kDont) {
            telnetVerb_ = byte;
            telnet_ = Telnet::Option;
            return;
        }
        if (byte == kSb) {
            telnet_ = Telnet::Sub;
            return;
        }
        if (byte != kIac) return;  // a two-byte command (NOP, GA, ...)
        break;                     // IAC IAC is a data byte 255
    case Telnet::Option: {
        // Turn down every option: a plain line stream is all this needs.
        telnet_ = Telnet::Data;
        const char answer = telnetVerb_ == kDo ? kWont : telnetVerb_ == kWill ? kDont : 0;
        if (answer != 0 && socket_->state() == QAbstractSocket::ConnectedState) {
            const char reply[] = {kIac, answer, byte};
            socket_->write(reply, sizeof reply);
        }
        return;
    }
    case Telnet::Sub:
        if (byte == kIac) telnet_ = Telnet::SubCommand;
        return;
    case Telnet::SubCommand: telnet_ = byte == kSe ? Telnet::Data : Telnet::Sub; return;
    }

    if (byte == '\n' || byte == '\r') {
        if (!discarding_ && !partial_.isEmpty()) {
            const QByteArray line = partial_;
            partial_.clear();
            takeLine(line);
        }
        discarding_ = false;
        partial_.clear();
    } else if (!discarding_) {
        if (partial_.size() >= kMaxLineBytes) {
            discarding_ = true;
            partial_.clear();
        } else {
            partial_.append(byte);
        }
    }
}

void DxCluster::takeLine(const QByteArray& line) {
    if (!loginSent_ && isLoginPrompt(line)) {
        sendLogin();
        return;
    }
    if (loginSent_ && !line.trimmed().isEmpty()) heardAfterLogin_ = true;
    if (std::optional<Spot> spot = parseSpotLine(line, QDateTime::currentDateTimeUtc())) {
        spotSeen_ = true;
        emit spotReceived(*spot);
        return;
    }
    // A welcome text may say "sorry" too: only what follows the call sign counts.
    if (!spotSeen_ && loginSent_ && isRefusal(line)) {
        refused_ = true;
        refusal_ = clusterText(line).simplified().left(kMaxReasonChars);
        emit loginRefused(refusal_);
    }
}

void DxCluster::sendLogin() {
    loginSent_ = true;
    partial_.clear();
    // The tail read after a close may hold the prompt: there is no one left to answer.
    if (socket_->state() == QAbstractSocket::ConnectedState) socket_->write(callsign_ + "\r\n");
}

void DxCluster::lost(const QString& reason) {
    if (state_ == State::Disconnected) return;
    const bool wasConnected = state_ == State::Connected;
    const quint64 generation = generation_;
    state_ = State::Disconnected;  // first: abort() below comes back here through disconnected()
    connectTimeout_->stop();
    drain_->stop();
    QString why = reason;
    if (wasConnected && !refused_) {
        // What arrived before the close still counts; the read buffer bounds it.
        while (socket_->bytesAvailable() > 0 && !refused_ && generation == generation_) {
            consume(socket_->read(kSliceBytes));
        }
        if (generation != generation_) return;
        if (!refused_ && loginSent_ && !heardAfterLogin_) {
            refused_ = true;
            refusal_ = tr("the cluster closed the connection after the call sign");
            emit loginRefused(refusal_);
            if (generation != generation_) return;
        }
        if (refused_) why = tr("login refused: %1").arg(refusal_);
    }
    socket_->abort();
    if (!wanted_ || generation != generation_) return;

    const bool good = spotSeen_ || (connectedFor_.isValid() && connectedFor_.elapsed() >= kGoodConnectionMs);
    if (good) pauseMs_ = firstPauseMs_;
    // A refused call sign stays refused: ask again rarely.
    const int delay = refused_ ? kMaxPauseMs : pauseMs_;
    pauseMs_ = std::min(pauseMs_ * 2, kMaxPauseMs);
    retry_->start(delay);
    emit stateChanged(State::Disconnected, tr("Not connected to %1:%2 (%3); trying again in %4 s")
                                               .arg(host_)
                                               .arg(port_)
                                               .arg(why)
                                               .arg((delay + 999) / 1000));
}

}  // namespace qv7m
