// The real serial control on a pseudo-terminal whose far end the test holds:
// line settings, port names, locking, stale input, writes, and a line that
// goes away. The probe through the window is tested against the simulator.

#include "core/runtime_error.h"
#include "radio/radiolink.h"
#include "radio/serialcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace qv7m;

namespace {

void configure(MSComm& comm, int16_t port) {
    comm.setCommPort(port);
    comm.setSettings(QStringLiteral("4800,n,8,2"));
    comm.setRThreshold(1);
    comm.setSThreshold(1);
    comm.setInputLen(1);
}

// A pseudo-terminal, linked as COM1 from a scratch working directory. Nothing
// answers on it: a silent radio.
struct OnAPty : ::testing::Test {
    QTemporaryDir dir;
    QString oldDir = QDir::currentPath();
    int master = -1, holder = -1;
    std::string slave;
    std::unique_ptr<MSComm> comm = makeSerialControl();  // as the program has it
    RadioLink link{*comm};

    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        slave = ::ptsname(master);
        // Held open so that the far end sees no hang-up while the program has
        // its end closed; raw, so that nothing echoes.
        holder = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(holder, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(holder, TCSANOW, &tio);
        ASSERT_TRUE(dir.isValid() && QDir::setCurrent(dir.path()));
        ASSERT_TRUE(QFile::link(QString::fromStdString(slave), QStringLiteral("COM1")));
        configure(*comm, 1);
    }
    void TearDown() override {
        vanish();
        QDir::setCurrent(oldDir);
    }
    // The far end goes away, as a pulled cable does.
    void vanish() {
        for (int* fd : {&master, &holder})
            if (*fd >= 0) ::close(*fd), *fd = -1;
    }
    void expectNames(const RuntimeError& e, const QString& port, const std::string& device) {
        EXPECT_EQ(e.kind(), RuntimeError::Kind::Serial);
        EXPECT_TRUE(e.message().contains(port) && e.message().contains(QString::fromStdString(device)))
            << e.message().toStdString();
    }
};

}  // namespace

TEST(LineSettings, TheProgramsStringAndOthers) {
    const LineSettings s = parseLineSettings(QStringLiteral("4800,n,8,2"));
    EXPECT_TRUE(s.baud == 4800 && s.parity == 'n' && s.dataBits == 8 && s.stopBits == QStringLiteral("2"));
    const LineSettings t = parseLineSettings(QStringLiteral("9600, E ,7,1.5"));
    EXPECT_TRUE(t.parity == 'e' && t.stopBits == QStringLiteral("1.5"));
    for (const char* bad : {"", "4800", "4800,n,8", "4800,n,8,2,x", "fast,n,8,2", "0,n,8,2", "-4800,n,8,2",
                            "4800,x,8,2", "4800,nn,8,2", "4800,n,9,2", "4800,n,4,2", "4800,n,8,3", "4800,n,8,"}) {
        try {
            parseLineSettings(QString::fromLatin1(bad));
            ADD_FAILURE() << bad << ": accepted";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), RuntimeError::Kind::Settings) << bad;
        }
    }
    SerialControl control;
    control.setSettings(QStringLiteral("4800,n,8,2"));
    EXPECT_THROW(control.setSettings(QStringLiteral("4800;n;8;2")), RuntimeError);
    EXPECT_EQ(control.settings(), QStringLiteral("4800,n,8,2"));  // the rejected one left no trace
}

TEST_F(OnAPty, PortNamesFollowTheWorkingDirectory) {
    EXPECT_EQ(resolvePort(1).device, QFileInfo(QString::fromStdString(slave)).canonicalFilePath());
    EXPECT_EQ(resolvePort(4).device, QStringLiteral("/dev/ttyS3"));
    EXPECT_EQ(resolvePort(4).name, QStringLiteral("COM4"));
    // A dangling link names its device, rather than quietly opening another port.
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyUSB7"), QStringLiteral("COM2")));
    EXPECT_EQ(resolvePort(2).device, QStringLiteral("/nonexistent/ttyUSB7"));
    SerialControl control;
    configure(control, 2);
    try {
        control.setPortOpen(true);
        ADD_FAILURE() << "opened";
    } catch (const RuntimeError& e) {
        expectNames(e, QStringLiteral("COM2"), "/nonexistent/ttyUSB7");
    }
    EXPECT_FALSE(control.portOpen());
}

TEST_F(OnAPty, APortLockedByAnotherProgramIsInUse) {
    // Another program that only locks the open port (no lock file), as root.
    const int other = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(link.PortTest(1));
    EXPECT_FALSE(comm->portOpen());
    try {
        comm->setPortOpen(true);
        ADD_FAILURE() << "opened a locked port";
    } catch (const RuntimeError& e) {
        expectNames(e, QStringLiteral("COM1"), slave);
    }
    ::close(other);
    EXPECT_TRUE(link.PortTest(1));
}

TEST_F(OnAPty, StaleInputIsClearedAndWritesGoOutAtOnce) {
    (void)!::write(master, "\x01\x02\x03", 3);
    QThread::msleep(20);
    SerialControl control;
    configure(control, 1);
    int events = 0;
    control.onComm = [&] { ++events; };
    control.setPortOpen(true);
    QThread::msleep(20);
    EXPECT_TRUE(control.Input().isEmpty());
    (void)!::write(master, "\x44", 1);
    QThread::msleep(20);
    EXPECT_EQ(control.Input(), QByteArray("\x44"));
    // A frame leaves whole, without waiting for the event loop.
    control.Output(RadioLink::meterFrame());
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    QThread::msleep(20);
    char got[16];
    EXPECT_EQ(QByteArray(got, int(::read(master, got, sizeof got))), RadioLink::meterFrame());
    // Events are raised through the event queue, never from inside a read or write.
    EXPECT_EQ(events, 0);
    QCoreApplication::processEvents();
    EXPECT_GT(events, 0);
    EXPECT_THROW(control.setCommPort(2), RuntimeError);  // not while open
    control.setPortOpen(false);
    EXPECT_THROW(control.Input(), RuntimeError);
    EXPECT_THROW(control.Output(QByteArray(5, '\0')), RuntimeError);
}

TEST_F(OnAPty, ALineThatGoesAwayIsAnErrorNamingThePort) {
    link.Befehl(11);
    link.lesemeter();
    vanish();
    // Events keep being handled meanwhile without spinning on the dead line.
    const std::clock_t cpuBefore = std::clock();
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_LT(double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC, 100.0);

    QElapsedTimer timer;
    timer.start();
    try {
        link.lesemeter();
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        expectNames(e, QStringLiteral("COM1"), slave);
        std::cout << "[ message ] " << e.message().toStdString() << std::endl;
    }
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(comm->portOpen());
    EXPECT_NO_THROW(link.Befehl(10));
}

TEST_F(OnAPty, ALineThatGoesAwayDuringAWait) {
    link.Befehl(11);
    std::thread cut([&] {
        QThread::msleep(30);
        vanish();
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
