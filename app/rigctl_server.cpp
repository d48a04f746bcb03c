#include "app/rigctl_server.h"

#include <QList>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace qv7m {
namespace {

// Hamlib's error codes, negated as the protocol sends them.
constexpr int kOk = 0;
constexpr int kInvalid = -1;
constexpr int kIoError = -6;
constexpr int kRejected = -9;
constexpr int kNotAvailable = -11;

// A client with this many commands waiting is not read further until serve()
// has caught up, so a flood of short lines cannot grow the queue.
constexpr int kMaxQueuedPerClient = 32;
// Bytes a socket may hold unread before the kernel's flow control holds the
// client back.
constexpr qint64 kSocketReadBuffer = 4 * RigctlServer::maxLineBytes;
// A client that does not read its replies is cut off past this.
constexpr qint64 kMaxUnreadReplies = 64 * 1024;

constexpr double kLowestHz = 100000;
constexpr double kHighestHz = 30000000;

// What Hamlib's network client reads on connecting: a receiver and
// transmitter from 100 kHz to 30 MHz, LSB USB CW AM FM RTTY PKTLSB PKTUSB
// (mode mask 0xc3f: the radio's packet mode may be either side) on VFO-A, 10 Hz steps, no functions, STRENGTH as the
// only level. The model is Hamlib's number for the FT-1000MP. No VFO is targetable and there is no set_vfo, so Hamlib's
// client asks for VFO-B nothing at all rather than switching to it (it would believe the switch even once refused).
const char kDumpState[] =
    "1\n"     // protocol version
    "1024\n"  // rig model
    "0\n"     // ITU region
    "100000.000000 30000000.000000 0xc3f -1 -1 0x1 0x1\n"
    "0 0 0 0 0 0 0\n"
    "100000.000000 30000000.000000 0xc3f 5000 100000 0x1 0x1\n"
    "0 0 0 0 0 0 0\n"
    "0xc3f 10\n"
    "0 0\n"
    "0 0\n"                                  // no filter list
    "0\n0\n0\n0\n"                           // RIT, XIT, IF shift, announcements
    "\n\n"                                   // no preamplifier, no attenuator
    "0x0\n0x0\n0x40000000\n0x0\n0x0\n0x0\n"  // functions, levels, parameters (get, set)
    "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\n"
    "has_set_vfo=0\nhas_get_vfo=1\nhas_set_freq=1\nhas_get_freq=1\n"
    "has_set_conf=0\nhas_get_conf=0\nhas_power2mW=0\nhas_mW2power=0\n"
    "timeout=1500\n"  // ms; a reply waits for the sweep step in progress and a status read
    "done";

using Args = QList<QByteArray>;

struct Reply {
    int code = kOk;
    std::vector<std::pair<const char*, QByteArray>> values;  // label, value
};

Reply failed(int code) { return Reply{code, {}}; }
Reply value(const char* label, const QByteArray& text) { return Reply{kOk, {{label, text}}}; }

Reply getFrequency(RigAccess& rig, const Args&) {
    const std::optional<int64_t> hz = rig.frequencyHz();
    return hz ? value("Frequency", QByteArray::number(qlonglong(*hz))) : failed(kIoError);
}

Reply setFrequency(RigAccess& rig, const Args& args) {
    bool number = false;
    const double hz = args[0].toDouble(&number);
    // Written so that NaN fails it too.
    if (!number || !(hz >= kLowestHz && hz <= kHighestHz)) return failed(kInvalid);
    return failed(rig.setFrequencyHz(std::llround(hz)) ? kOk : kIoError);
}

Reply getMode(RigAccess& rig, const Args&) {
    const std::optional<QString> mode = rig.mode();
    if (!mode) return failed(kIoError);
    return Reply{kOk, {{"Mode", mode->toLatin1()}, {"Passband", "0"}}};
}

Reply getLevel(RigAccess& rig, const Args& args) {
    if (args[0] != "STRENGTH") return failed(kNotAvailable);
    const std::optional<int> db = rig.strengthDb();
    // rigctld prints a level's value without a label.
    return db ? value("", QByteArray::number(*db)) : failed(kIoError);
}

struct CommandSpec {
    char shortName;  // 0: only the long form
    const char* longName;
    int argCount;
    bool needsRadio;  // answered with an I/O error while the radio's port is unusable
    bool closes;
    Reply (*run)(RigAccess&, const Args&);
};

// VFO-B is the scope's sweep VFO, so clients see VFO-A only and split is off.
const CommandSpec kCommands[] = {
    {'f', "get_freq", 0, true, false, getFrequency},
    {'F', "set_freq", 1, true, false, setFrequency},
    {'m', "get_mode", 0, true, false, getMode},
    {'l', "get_level", 1, true, false, getLevel},
    {'v', "get_vfo", 0, false, false, [](RigAccess&, const Args&) { return value("VFO", "VFOA"); }},
    {'V', "set_vfo", 1, false, false,
     [](RigAccess&, const Args& args) { return failed(args[0] == "VFOA" ? kOk : kInvalid); }},
    {'s', "get_split_vfo", 0, false, false,
     [](RigAccess&, const Args&) {
         return Reply{kOk, {{"Split", "0"}, {"TX VFO", "VFOA"}}};
     }},
    // Split off is how things stand already; split on would hand VFO-B over.
    {'S', "set_split_vfo", 2, false, false,
     [](RigAccess&, const Args& args) { return failed(args[0] == "0" ? kOk : kRejected); }},
    {'t', "get_ptt", 0, false, false, [](RigAccess&, const Args&) { return value("PTT", "0"); }},
    {0, "chk_vfo", 0, false, false, [](RigAccess&, const Args&) { return value("ChkVFO", "0"); }},
    {0, "dump_state", 0, false, false, [](RigAccess&, const Args&) { return value("", kDumpState); }},
    {0, "get_powerstat", 0, true, false, [](RigAccess&, const Args&) { return value("Power Status", "1"); }},
    {'q', "quit", 0, false, true, [](RigAccess&, const Args&) { return failed(kOk); }},
    {'Q', "quit", 0, false, true, [](RigAccess&, const Args&) { return failed(kOk); }},
};

const CommandSpec* find(const QByteArray& word) {
    for (const CommandSpec& spec : kCommands) {
        if (word.startsWith('\\') ? word.mid(1) == spec.longName
                                  : word.size() == 1 && spec.shortName && word[0] == spec.shortName)
            return &spec;
    }
    return nullptr;
}

bool printable(const QByteArray& line) {
    return std::all_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 0x20 && byte < 0x7f) || byte == '\t';
    });
}

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
        clients_[socket] = Client{};
        socket->setReadBufferSize(kSocketReadBuffer);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (readFrom(socket)) emit pending();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

bool RigctlServer::readFrom(QTcpSocket* socket) {
    const auto found = clients_.find(socket);
    if (found == clients_.end()) return false;
    Client& client = found->second;
    bool queued = false;
    char c = 0;
    while (client.queued < kMaxQueuedPerClient && socket->state() == QAbstractSocket::ConnectedState &&
           socket->getChar(&c)) {
        if (c == '\n') {
            QByteArray line = std::exchange(client.partial, QByteArray());
            if (line.endsWith('\r')) line.chop(1);
            if (!client.discarding && !line.trimmed().isEmpty()) {
                queue_.push_back({socket, line});
                ++client.queued;
                queued = true;
            }
            client.discarding = false;
        } else if (client.discarding) {
            continue;
        } else if (client.partial.size() < maxLineBytes) {
            client.partial += c;
        } else {
            // No command is this long: answer it with an error once and throw
            // the rest of it away up to the next newline.
            client.partial = QByteArray();
            client.discarding = true;
            queue_.push_back({socket, QByteArray()});
            ++client.queued;
            queued = true;
        }
    }
    return queued;
}

void RigctlServer::drop(QTcpSocket* socket) {
    // Its queued commands stay behind; their QPointer turns null with the socket.
    clients_.erase(socket);
    socket->deleteLater();
}

void RigctlServer::serve(RigAccess& rig) {
    if (serving_) return;
    serving_ = true;
    // Only what was queued on entry: the radio calls may let events run, and
    // what arrives meanwhile waits for the next call.
    std::deque<Command> batch;
    batch.swap(queue_);
    for (const Command& command : batch) {
        const auto connected = [&command] {
            return command.socket && command.socket->state() == QAbstractSocket::ConnectedState;
        };
        if (!connected()) continue;
        const auto client = clients_.find(command.socket);
        if (client != clients_.end()) --client->second.queued;
        bool quit = false;
        const QByteArray reply = execute(rig, command.line, &quit);
        if (!connected()) continue;
        command.socket->write(reply);
        if (quit)
            command.socket->disconnectFromHost();
        else if (command.socket->bytesToWrite() > kMaxUnreadReplies)
            command.socket->abort();
    }
    serving_ = false;
    // Read on from clients held back, and call for another serve() if commands
    // came in meanwhile; queued so that a serve() called straight from
    // pending() does not nest.
    QMetaObject::invokeMethod(this, &RigctlServer::resume, Qt::QueuedConnection);
}

void RigctlServer::resume() {
    std::vector<QPointer<QTcpSocket>> sockets;
    for (const auto& entry : clients_) sockets.emplace_back(entry.first);
    for (const QPointer<QTcpSocket>& socket : sockets) {
        if (socket) readFrom(socket);
    }
    if (!queue_.empty()) emit pending();
}

QByteArray RigctlServer::execute(RigAccess& rig, const QByteArray& line, bool* quit) {
    // An overlong line (left empty) or one with bytes no command has never
    // reaches the radio.
    if (line.isEmpty() || !printable(line)) return "RPRT -1\n";
    QByteArray text = line.trimmed();
    // A leading punctuation character asks for the extended response, its
    // records ended by that character ('+': by newlines).
    char separator = 0;
    if (std::ispunct(static_cast<unsigned char>(text[0])) && !std::strchr("\\?_#", text[0])) {
        separator = text[0] == '+' ? '\n' : text[0];
        text.remove(0, 1);
    }
    const Args words = text.simplified().split(' ');
    const Args args = words.mid(1);
    const CommandSpec* spec = find(words[0]);
    Reply reply;
    if (!spec)
        reply = failed(kNotAvailable);
    else if (args.size() != spec->argCount)
        reply = failed(kInvalid);
    else if (spec->needsRadio && !rig.available())
        reply = failed(kIoError);
    else
        reply = spec->run(rig, args);
    *quit = spec && spec->closes;

    QByteArray out;
    if (separator && spec) {
        out = spec->longName + QByteArray(":");
        for (const QByteArray& arg : args) out += ' ' + arg;
        out += separator;
    }
    for (const auto& [label, shown] : reply.values) {
        if (separator && *label) out += QByteArray(label) + ": ";
        out += shown;
        out += separator ? separator : '\n';
    }
    if (separator || reply.values.empty()) out += "RPRT " + QByteArray::number(reply.code) + '\n';
    return out;
}

}  // namespace qv7m
