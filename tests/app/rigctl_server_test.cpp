// The rigctld-protocol server, driven by Hamlib's own network client.
#include "app/rigctl_server.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>

#include <memory>

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

// Runs `rigctl -m 2` against the server, serving whenever work is queued, as
// the program does between sweep steps. Returns what the client printed.
QString runClient(RigctlServer& server, FakeRig& rig, const QStringList& command) {
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&server, &RigctlServer::pending, &client, [&] { server.serve(rig); });
    QEventLoop loop;
    QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    client.start("rigctl", QStringList{"-m", "2", "-r", QString("127.0.0.1:%1").arg(server.serverPort())} + command);
    loop.exec();
    return QString::fromLocal8Bit(client.readAll());
}

class RigctlServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("rigctl").isEmpty())
            GTEST_SKIP() << "rigctl (libhamlib-utils) is not installed";
        QString error;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    }
    RigctlServer server;
    FakeRig rig;
};

TEST_F(RigctlServerTest, HamlibClientReadsAndTunesOnlyWhatTheScopeAllows) {
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
        const QString printed = runClient(server, rig, c.command);
        SCOPED_TRACE(c.command.join(' ').toStdString() + "\n" + printed.toStdString());
        EXPECT_TRUE(printed.contains(c.printed));
        EXPECT_EQ(rig.tuned, c.tuned);
        EXPECT_FALSE(server.hasPending());
    }
}

TEST_F(RigctlServerTest, JunkOverlongLinesAndVanishedClientsNeverReachTheRadio) {
    auto raw = std::make_unique<QTcpSocket>();
    raw->connectToHost(QHostAddress::LocalHost, server.serverPort());
    ASSERT_TRUE(raw->waitForConnected(5000));
    const auto serving = QObject::connect(&server, &RigctlServer::pending, [&] { server.serve(rig); });
    QByteArray replies;
    QEventLoop answered;
    QObject::connect(raw.get(), &QTcpSocket::readyRead, &answered, [&] {
        replies += raw->readAll();
        if (replies.count('\n') >= 3) answered.quit();
    });
    // Control characters around a set_freq that would otherwise pass for one.
    raw->write(QByteArray(4000, '7') +
               "\n\x0b\x0c"
               "F 7000000\x0b\n" +
               QByteArray("\0\xff\n", 3));
    answered.exec();
    EXPECT_EQ(replies, "RPRT -1\nRPRT -1\nRPRT -1\n");

    QObject::disconnect(serving);
    QEventLoop queued;
    QObject::connect(&server, &RigctlServer::pending, &queued, &QEventLoop::quit);
    raw->write("f\nf\nF 7");
    queued.exec();
    raw.reset();  // gone before its commands are served
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    server.serve(rig);
    EXPECT_TRUE(runClient(server, rig, {"f"}).contains("14074000"));
    EXPECT_EQ(rig.tuned, 0);
}

}  // namespace
}  // namespace qv7m
