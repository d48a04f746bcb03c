// SPDX-License-Identifier: GPL-3.0-or-later
// The rigctld protocol and its server: what each line is answered, and the
// limits that keep one client from holding up the others. (Hamlib's own
// client against the running scope: tests/app/beyond_e2e_test.cpp.)
#include "sharing/rigctl_server.h"
#include "support/wait_for.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace qv7m {
namespace {

struct FakeRig : RigAccess {
    bool up = true;
    int64_t tuned = 0;  // 0: never tuned
    bool available() override { return up; }
    std::optional<int64_t> frequencyHz() override { return 14252470; }
    bool setFrequencyHz(int64_t hz) override {
        tuned = hz;
        return true;
    }
    std::optional<QString> mode() override { return QString("USB"); }
    std::optional<int> strengthDb() override { return -12; }
};

// Each reply whole, in the plain and the extended form, at the edges of the radio's range.
TEST(Protocol, EachLineGetsHamlibsReply) {
    const std::pair<const char*, const char*> cases[] = {
        {"f", "14252470\n"},
        {"\\get_freq", "14252470\n"},
        {"+f", "get_freq:\nFrequency: 14252470\nRPRT 0\n"},
        {";m", "get_mode:;Mode: USB;Passband: 0;RPRT 0\n"},
        {"F 30000000", "RPRT 0\n"},
        {"F 30000010", "RPRT -1\n"},
        {"F 99999", "RPRT -1\n"},
        {"F", "RPRT -1\n"},
        {"l STRENGTH", "-12\n"},
        {"l RFPOWER", "RPRT -11\n"},
        {"S 1 VFOB", "RPRT -9\n"},
        {"V VFOB", "RPRT -1\n"},
        {"s", "0\nVFOA\n"},
        {"x", "RPRT -11\n"},
        {"f\x01", "RPRT -1\n"},
    };
    for (const auto& [line, reply] : cases) {
        SCOPED_TRACE(line);
        FakeRig rig;
        EXPECT_EQ(rigctl::execute(rig, line).bytes, QByteArray(reply));
        EXPECT_EQ(rig.tuned, QByteArray(line) == "F 30000000" ? 30000000 : 0);
    }
    FakeRig down;
    down.up = false;
    EXPECT_EQ(rigctl::execute(down, "f").bytes, "RPRT -6\n");
    EXPECT_TRUE(rigctl::execute(down, "q").quit);
}

// Lines end at LF, less a CR before it; blank ones are skipped; an overlong one comes out once, empty.
TEST(Protocol, LinesAreSplitAsRigctldSplitsThem) {
    rigctl::LineSplitter splitter;
    QList<QByteArray> lines;
    const QByteArray bytes = "f\r\n \t\n\nF 7031230\n" + QByteArray(rigctl::kMaxLineBytes + 5, 'x') + "\nm\n";
    for (char b : bytes) {
        if (const std::optional<QByteArray> line = splitter.take(b)) lines << *line;
    }
    EXPECT_EQ(lines, QList<QByteArray>({"f", "F 7031230", "", "m"}));
}

class Server : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
        QObject::connect(&server, &RigctlServer::clientGone, [this](quint64 id) { gone.push_back(id); });
        QObject::connect(&server, &RigctlServer::command, [this](quint64 id, const QByteArray& line) {
            if (!atOnce) {
                held.push_back({id, line});
                return;
            }
            const rigctl::Reply reply = rigctl::execute(rig, line);
            server.reply(id, reply.bytes, reply.quit);
        });
    }
    std::unique_ptr<QTcpSocket> connectClient() {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
        EXPECT_TRUE(socket->waitForConnected(5000));
        return socket;
    }

    // Each command run as it comes in, as the program does between sweep steps; else held for the test.
    bool atOnce = false;
    FakeRig rig;
    std::vector<std::pair<quint64, QByteArray>> held;
    std::vector<quint64> gone;
    RigctlServer server;
};

TEST_F(Server, AVanishedClientIsReportedGoneAndRepliesToItAreDropped) {
    auto raw = connectClient();
    // The unended "F 7" is no command.
    raw->write("f\nf\nF 7");
    ASSERT_TRUE(test::waitFor([&] { return held.size() == 2; }));
    raw.reset();
    ASSERT_TRUE(test::waitFor([&] { return !gone.empty(); }));
    EXPECT_EQ(gone, std::vector<quint64>{held[0].first});
    for (const auto& [id, line] : held) server.reply(id, "14252470\n", false);
    QCoreApplication::processEvents();
    EXPECT_EQ(held.size(), 2u);

    // The server goes on serving others.
    auto next = connectClient();
    next->write("f\n");
    ASSERT_TRUE(test::waitFor([&] { return held.size() == 3; }));
    EXPECT_NE(held[2].first, held[0].first);
    server.reply(held[2].first, "14252470\n", false);
    ASSERT_TRUE(test::waitFor([&] { return next->bytesAvailable() >= 9; }));
    EXPECT_EQ(next->readAll(), "14252470\n");
}

TEST_F(Server, AClientThatReadsNoRepliesIsCutOff) {
    auto raw = connectClient();
    raw->write("\\dump_state\n");
    ASSERT_TRUE(test::waitFor([&] { return held.size() == 1; }));
    server.reply(held[0].first, QByteArray(RigctlServer::maxUnreadReplies + 1, 'x'), false);
    EXPECT_EQ(gone.size(), 1u);
    ASSERT_TRUE(test::waitFor([&] { return raw->state() == QAbstractSocket::UnconnectedState; }));
}

TEST_F(Server, ANinthClientIsTurnedAway) {
    atOnce = true;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < RigctlServer::maxClients + 1; ++i) clients.push_back(connectClient());
    ASSERT_TRUE(test::waitFor([&] { return clients.back()->state() == QAbstractSocket::UnconnectedState; }));
    for (int i = 0; i < RigctlServer::maxClients; ++i) {
        clients[size_t(i)]->write("v\n");
        ASSERT_TRUE(test::waitFor([&] { return clients[size_t(i)]->canReadLine(); })) << "client " << i;
        EXPECT_EQ(clients[size_t(i)]->readLine(), "VFOA\n");
    }
}

}  // namespace
}  // namespace qv7m
