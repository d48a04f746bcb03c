// The rigctld-protocol server, driven by Hamlib's own network client and by
// raw sockets.
#include "sharing/rigctl_server.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>

#include <functional>
#include <memory>
#include <vector>

namespace qv7m {
namespace {

struct FakeRig : RigAccess {
    bool up = true;
    int64_t tuned = 0;  // 0: never tuned
    bool available() override { return up; }
    std::optional<int64_t> frequencyHz() override { return 14074000; }
    bool setFrequencyHz(int64_t hz) override {
        tuned = hz;
        return true;
    }
    std::optional<QString> mode() override { return QString("USB"); }
    std::optional<int> strengthDb() override { return -12; }
};

// Runs events until done() holds or 5 s have passed; false on the timeout.
bool runUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class RigctlServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
        connect(server, &RigctlServer::clientGone, [this](quint64 id) { gone.push_back(id); });
    }
    template <typename Signal, typename F>
    void connect(RigctlServer& s, Signal signal, F f) {
        connections.push_back(QObject::connect(&s, signal, f));
    }
    // Each command is run as it comes in, as the program does between sweep steps.
    void serveAtOnce() {
        connect(server, &RigctlServer::command, [this](quint64 id, const QByteArray& line) {
            const rigctl::Reply reply = rigctl::execute(rig, line);
            server.reply(id, reply.bytes, reply.quit);
        });
    }
    // Commands are only collected; the test replies.
    void hold() {
        connect(server, &RigctlServer::command, [this](quint64 id, const QByteArray& line) {
            held.push_back({id, line});
        });
    }
    std::unique_ptr<QTcpSocket> connectClient() {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        EXPECT_TRUE(socket->waitForConnected(5000));
        return socket;
    }
    void TearDown() override {
        for (const QMetaObject::Connection& c : connections) QObject::disconnect(c);
    }

    RigctlServer server;
    FakeRig rig;
    std::vector<QMetaObject::Connection> connections;
    std::vector<std::pair<quint64, QByteArray>> held;
    std::vector<quint64> gone;
};

// Returns what `rigctl -m 2` printed for the command.
QString runHamlibClient(quint16 port, const QStringList& command) {
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    QEventLoop loop;
    QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    client.start("rigctl", QStringList{"-m", "2", "-r", QString("127.0.0.1:%1").arg(port)} + command);
    loop.exec();
    return QString::fromLocal8Bit(client.readAll());
}

TEST_F(RigctlServerTest, HamlibClientReadsAndTunesOnlyWhatTheScopeAllows) {
    if (QStandardPaths::findExecutable("rigctl").isEmpty()) GTEST_SKIP() << "rigctl (libhamlib-utils) is not installed";
    serveAtOnce();
    struct Case {
        QStringList command;
        bool up;
        const char* printed;  // expected in the client's output
        int64_t tuned;
    };
    const Case cases[] = {
        {{"f"}, true, "14074000", 0},
        {{"F", "7035000"}, true, "", 7035000},
        {{"F", "50000"}, true, "Invalid parameter", 0},  // below the radio's range
        {{"m"}, true, "USB\n0", 0},
        {{"l", "STRENGTH"}, true, "-12", 0},
        {{"S", "1", "VFOB"}, true, "rejected", 0},         // VFO-B belongs to the sweep
        {{"-vv", "F", "7035000"}, false, "i/o error", 0},  // the radio's port is not usable
    };
    for (const Case& c : cases) {
        rig.up = c.up;
        rig.tuned = 0;
        const QString printed = runHamlibClient(server.serverPort(), c.command);
        SCOPED_TRACE(c.command.join(' ').toStdString() + "\n" + printed.toStdString());
        EXPECT_TRUE(printed.contains(c.printed));
        EXPECT_EQ(rig.tuned, c.tuned);
    }
}

TEST_F(RigctlServerTest, JunkAndOverlongLinesAreAnsweredOnceEachAndNeverRun) {
    serveAtOnce();
    auto raw = connectClient();
    QByteArray replies;
    QObject::connect(raw.get(), &QTcpSocket::readyRead, [&] { replies += raw->readAll(); });
    // Control characters around a set_freq that would otherwise pass for one.
    raw->write(QByteArray(4000, '7') +
               "\n\x0b\x0c"
               "F 7000000\x0b\n" +
               QByteArray("\0\xff\n", 3));
    ASSERT_TRUE(runUntil([&] { return replies.count('\n') >= 3; }));
    EXPECT_EQ(replies, "RPRT -1\nRPRT -1\nRPRT -1\n");
    EXPECT_EQ(rig.tuned, 0);
}

TEST_F(RigctlServerTest, AVanishedClientIsReportedGoneAndRepliesToItAreDropped) {
    hold();
    auto raw = connectClient();
    // The unended "F 7" is no command.
    raw->write("f\nf\nF 7");
    ASSERT_TRUE(runUntil([&] { return held.size() == 2; }));
    raw.reset();
    ASSERT_TRUE(runUntil([&] { return !gone.empty(); }));
    EXPECT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0], held[0].first);
    for (const auto& [id, line] : held) server.reply(id, "14074000\n", false);
    QCoreApplication::processEvents();
    EXPECT_EQ(held.size(), 2u);

    // The server goes on serving others.
    auto next = connectClient();
    next->write("f\n");
    ASSERT_TRUE(runUntil([&] { return held.size() == 3; }));
    EXPECT_NE(held[2].first, held[0].first);
    server.reply(held[2].first, "14074000\n", false);
    ASSERT_TRUE(runUntil([&] { return next->bytesAvailable() >= 9; }));
    EXPECT_EQ(next->readAll(), "14074000\n");
}

TEST_F(RigctlServerTest, AQuitLetsTheClientGoAsItsReplyIsSent) {
    hold();
    auto raw = connectClient();
    raw->write("q\nF 7035000\n");
    ASSERT_TRUE(runUntil([&] { return held.size() == 2; }));
    const rigctl::Reply reply = rigctl::execute(rig, held[0].second);
    server.reply(held[0].first, reply.bytes, reply.quit);
    // Told at once, so that the command after the quit is dropped before it runs.
    EXPECT_EQ(gone, std::vector<quint64>{held[0].first});
    ASSERT_TRUE(runUntil([&] { return raw->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(raw->readAll(), "RPRT 0\n");
    EXPECT_EQ(gone.size(), 1u);
}

TEST_F(RigctlServerTest, AClientWithManyUnansweredCommandsIsReadOnlyAsRepliesComeBack) {
    hold();
    auto raw = connectClient();
    QByteArray lines;
    for (int i = 0; i < RigctlServer::maxAwaiting + 8; ++i) lines += "f\n";
    raw->write(lines);
    ASSERT_TRUE(runUntil([&] { return held.size() == size_t(RigctlServer::maxAwaiting); }));
    // Events run on; no more lines are taken while every one awaits its reply.
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(held.size(), size_t(RigctlServer::maxAwaiting));

    server.reply(held[0].first, "14074000\n", false);
    EXPECT_EQ(held.size(), size_t(RigctlServer::maxAwaiting) + 1);
    for (size_t i = 1; i < held.size(); ++i) server.reply(held[i].first, "14074000\n", false);
    EXPECT_EQ(held.size(), size_t(RigctlServer::maxAwaiting) + 8);
    EXPECT_TRUE(gone.empty());
}

TEST_F(RigctlServerTest, AClientThatReadsNoRepliesIsCutOff) {
    hold();
    auto raw = connectClient();
    raw->write("\\dump_state\n");
    ASSERT_TRUE(runUntil([&] { return held.size() == 1; }));
    server.reply(held[0].first, QByteArray(RigctlServer::maxUnreadReplies + 1, 'x'), false);
    EXPECT_EQ(gone.size(), 1u);
    ASSERT_TRUE(runUntil([&] { return raw->state() == QAbstractSocket::UnconnectedState; }));
}

TEST_F(RigctlServerTest, ANinthClientIsTurnedAway) {
    serveAtOnce();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < RigctlServer::maxClients + 1; ++i) clients.push_back(connectClient());
    ASSERT_TRUE(runUntil([&] { return clients.back()->state() == QAbstractSocket::UnconnectedState; }));
    for (int i = 0; i < RigctlServer::maxClients; ++i) {
        clients[size_t(i)]->write("v\n");
        ASSERT_TRUE(runUntil([&] { return clients[size_t(i)]->canReadLine(); })) << "client " << i;
        EXPECT_EQ(clients[size_t(i)]->readLine(), "VFOA\n");
    }
}

}  // namespace
}  // namespace qv7m
