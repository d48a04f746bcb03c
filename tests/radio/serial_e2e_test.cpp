// The real serial control on a pseudo-terminal, with the model radio at the
// far end: port names, opening and locking, the probe, reads at line speed,
// and a line that goes away.

#include "core/runtime_error.h"
#include "pty_peer.h"
#include "radio/radiolink.h"
#include "radio/serialcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QEventLoop>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <sys/file.h>
#include <sys/wait.h>
#include <iostream>

using namespace qv7m;
using namespace qv7m::test;

namespace {

void configure(MSComm& comm, int16_t port) {
    comm.setCommPort(port);
    comm.setSettings(QStringLiteral("4800,n,8,2"));
    comm.setRThreshold(1);
    comm.setSThreshold(1);
    comm.setInputLen(1);
}

// The port probe as the form makes it when a port is chosen.
bool probe(RadioLink& link, int16_t port) {
    link.meterValue = -1;
    if (!link.PortTest(port)) return false;
    link.Befehl(11);
    link.lesemeter();
    link.Befehl(10);
    return true;
}

struct OnAPty : ::testing::Test {
    QTemporaryDir dir;
    QString oldDir;
    PtyPeer peer;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(peer.ok());
        oldDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ASSERT_TRUE(QFile::link(QString::fromStdString(peer.slavePath), QStringLiteral("COM1")));
    }
    void TearDown() override { QDir::setCurrent(oldDir); }
};

}  // namespace

TEST(LineSettings, TheProgramsStringAndOthers) {
    const LineSettings s = parseLineSettings(QStringLiteral("4800,n,8,2"));
    EXPECT_EQ(s.baud, 4800);
    EXPECT_EQ(s.parity, 'n');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, QStringLiteral("2"));
    const LineSettings t = parseLineSettings(QStringLiteral("9600, E ,7,1.5"));
    EXPECT_EQ(t.parity, 'e');
    EXPECT_EQ(t.stopBits, QStringLiteral("1.5"));
    for (const char* bad : {"", "4800", "4800,n,8", "4800,n,8,2,x", "fast,n,8,2", "0,n,8,2", "-4800,n,8,2",
                            "4800,x,8,2", "4800,nn,8,2", "4800,n,9,2", "4800,n,4,2", "4800,n,8,3", "4800,n,8,"}) {
        SCOPED_TRACE(bad);
        try {
            parseLineSettings(QString::fromLatin1(bad));
            FAIL() << "accepted";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), RuntimeError::Kind::Settings);
        }
    }
    SerialControl control;
    EXPECT_THROW(control.setSettings(QStringLiteral("4800;n;8;2")), RuntimeError);
    control.setSettings(QStringLiteral("4800,n,8,2"));
    EXPECT_EQ(control.settings(), QStringLiteral("4800,n,8,2"));
}

TEST_F(OnAPty, PortNamesFollowTheWorkingDirectory) {
    EXPECT_EQ(resolvePort(1).device, QFileInfo(QString::fromStdString(peer.slavePath)).canonicalFilePath());
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB7"), QStringLiteral("COM2")));
    EXPECT_EQ(resolvePort(2).device, QStringLiteral("/nonexistent/ttyUSB7"));  // the link's device, even if gone
    EXPECT_EQ(resolvePort(4).device, QStringLiteral("/dev/ttyS3"));
    EXPECT_EQ(resolvePort(4).name, QStringLiteral("COM4"));
}

TEST_F(OnAPty, ASilentRadioIsFoundOutQuickly) {
    peer.withRadio([](FakeRadio& r) { r.tamper = [](int, FakeRadio::Answer& a, LineTime&) { a.clear(); }; });
    peer.start();
    auto comm = makeSerialControl();
    configure(*comm, 1);
    RadioLink link(*comm);
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(probe(link, 1));
    const qint64 elapsed = timer.nsecsElapsed();
    EXPECT_EQ(link.meterValue, -1);
    EXPECT_FALSE(comm->portOpen());
    EXPECT_LT(elapsed, 1000000000);
    std::cout << "[ figure ] silent-radio probe: " << double(elapsed) / 1e6 << " ms" << std::endl;
    RecordProperty("silent_probe_ms", std::to_string(double(elapsed) / 1e6));
    QThread::msleep(100);
    EXPECT_EQ(peer.withRadio([](FakeRadio& r) { return r.frames.size(); }), 6u);  // 30 bytes went out
}

TEST_F(OnAPty, AMissingPortCannotBeUsed) {
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB7"), QStringLiteral("COM3")));
    auto comm = makeSerialControl();
    configure(*comm, 1);
    RadioLink link(*comm);
    EXPECT_FALSE(link.PortTest(3));
    EXPECT_EQ(comm->commPort(), 3);
    EXPECT_FALSE(comm->portOpen());
    try {
        link.Befehl(11);
        FAIL() << "opened";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Serial);
        EXPECT_TRUE(e.message().contains(QStringLiteral("COM3"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("/nonexistent/ttyUSB7"))) << e.message().toStdString();
    }
}

TEST_F(OnAPty, APortHeldElsewhereIsInUse) {
    auto holder = makeSerialControl();
    configure(*holder, 1);
    holder->setPortOpen(true);

    auto comm = makeSerialControl();
    configure(*comm, 1);
    RadioLink link(*comm);
    EXPECT_FALSE(link.PortTest(1));
    EXPECT_FALSE(comm->portOpen());
    EXPECT_TRUE(holder->portOpen());
    try {
        comm->setPortOpen(true);
        FAIL() << "opened twice";
    } catch (const RuntimeError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("COM1"))) << e.message().toStdString();
    }
    holder->setPortOpen(false);
    EXPECT_TRUE(link.PortTest(1));

    // Another program that only locks the open port (no lock file), as root.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(peer.slavePath.c_str(), O_RDWR | O_NOCTTY);
        ::flock(fd, LOCK_EX);
        (void)!::write(ready[1], "x", 1);
        ::sleep(2);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_FALSE(link.PortTest(1));
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(link.PortTest(1));
}

TEST_F(OnAPty, AnAnsweringRadioIsRead) {
    peer.withRadio([](FakeRadio& r) { r.meter = [](int) { return uint8_t(0x5A); }; });
    peer.start();
    auto comm = makeSerialControl();
    configure(*comm, 1);
    int events = 0;
    comm->onComm = [&] { ++events; };
    RadioLink link(*comm);
    EXPECT_TRUE(probe(link, 1));
    EXPECT_EQ(link.meterValue, 0x5A);
    EXPECT_FALSE(comm->portOpen());
    QCoreApplication::processEvents();
    EXPECT_GT(events, 0);  // raised through the event queue, never from inside a read

    // The frequency the radio reports.
    peer.withRadio([](FakeRadio& r) { r.frequency = 703500; });
    link.Befehl(11);
    link.Befehl(3);
    link.ReadStatus();
    link.Befehl(10);
    EXPECT_EQ(link.centerFreq, 703500);
}

TEST_F(OnAPty, StepsAtLineSpeedStayInStep) {
    peer.withRadio([](FakeRadio& r) { r.meter = [](int i) { return uint8_t(0x10 + i % 200); }; });
    peer.start();
    auto comm = makeSerialControl();
    configure(*comm, 1);
    RadioLink link(*comm);
    link.Befehl(11);
    link.ReadStatus();
    EXPECT_EQ(link.centerFreq, 1425000);
    const int steps = 60;
    int right = 0;
    QElapsedTimer timer;
    for (int i = 0; i < steps; ++i) {
        if (i == 10) timer.start();  // past the start, where the line is not yet full
        link.Sleep(10);
        link.konvertiere(link.centerFreq - 500 + 10 * i);
        link.Befehl(1);
        const int answer = peer.withRadio([](FakeRadio& r) { return r.answered; });
        link.lesemeter();
        if (link.meterValue == 0x10 + answer % 200 && link.rxBuffer[4] == link.rxBuffer[5]) ++right;
    }
    const double perStep = double(timer.nsecsElapsed()) / 1e6 / (steps - 10);
    link.Befehl(10);
    std::cout << "[ figure ] set-VFO-B + lesemeter step: " << perStep << " ms (line limit 80.2 ms); " << right
              << "/" << steps << " readings right" << std::endl;
    RecordProperty("step_ms", std::to_string(perStep));
    EXPECT_GE(right, steps - 3);  // a loaded machine may stamp a byte late now and then
    EXPECT_LT(perStep, 160.0);
}

TEST_F(OnAPty, StaleInputIsClearedOnOpen) {
    peer.writeRaw("\x01\x02\x03", 3);
    QThread::msleep(20);
    SerialControl control;
    configure(control, 1);
    control.setPortOpen(true);
    QThread::msleep(20);
    EXPECT_TRUE(control.Input().isEmpty());
    peer.writeRaw("\x44", 1);
    QThread::msleep(20);
    EXPECT_EQ(control.Input(), QByteArray("\x44"));
    EXPECT_THROW(control.setCommPort(2), RuntimeError);  // not while open
    control.setPortOpen(false);
    EXPECT_THROW(control.Input(), RuntimeError);
    EXPECT_THROW(control.Output(QByteArray(5, '\0')), RuntimeError);
}

TEST_F(OnAPty, ALineThatGoesAwayIsAnErrorNamingThePort) {
    peer.start();
    auto comm = makeSerialControl();
    configure(*comm, 1);
    RadioLink link(*comm);
    link.Befehl(11);
    link.lesemeter();
    peer.vanish();

    // Events keep being handled meanwhile without spinning on the dead line.
    const std::clock_t cpuBefore = std::clock();
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuMs = double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC;
    EXPECT_LT(cpuMs, 100.0);

    QElapsedTimer timer;
    timer.start();
    try {
        link.lesemeter();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Serial);
        EXPECT_TRUE(e.message().contains(QStringLiteral("COM1"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QString::fromStdString(peer.slavePath))) << e.message().toStdString();
        std::cout << "[ message ] " << e.message().toStdString() << std::endl;
    }
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(comm->portOpen());
    EXPECT_NO_THROW(link.Befehl(10));
}

TEST_F(OnAPty, ALineThatGoesAwayDuringAWait) {
    peer.withRadio([](FakeRadio& r) { r.tamper = [](int, FakeRadio::Answer& a, LineTime&) { a.clear(); }; });
    peer.start();
    auto comm = makeSerialControl();
    configure(*comm, 1);
    RadioLink link(*comm);
    link.Befehl(11);
    std::thread cut([&] {
        QThread::msleep(30);
        peer.vanish();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(
        {
            for (int i = 0; i < 20; ++i) link.Sleep(10);
        },
        RuntimeError);
    cut.join();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(comm->portOpen());
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
