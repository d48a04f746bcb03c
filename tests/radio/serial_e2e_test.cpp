// The real serial control on a pseudo-terminal whose far end the test holds
// (silent). The probe and the port names are tested through the window,
// against the simulator.

#include "core/runtime_error.h"
#include "radio/radiolink.h"
#include "radio/serialcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using namespace qv7m;

namespace {

struct OnAPty : ::testing::Test {
    QTemporaryDir dir;
    QString oldDir = QDir::currentPath();
    int master = ::posix_openpt(O_RDWR | O_NOCTTY), holder = -1;  // held: closing ours is no hang-up
    std::string slave;
    std::unique_ptr<MSComm> comm = makeSerialControl();
    RadioLink link{*comm};

    void SetUp() override {
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        slave = ::ptsname(master);
        holder = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(holder, &tio);
        ::cfmakeraw(&tio);  // nothing echoes
        ::tcsetattr(holder, TCSANOW, &tio);
        ASSERT_TRUE(dir.isValid() && QDir::setCurrent(dir.path()));
        ASSERT_TRUE(QFile::link(QString::fromStdString(slave), QStringLiteral("COM1")));
        configure(*comm);
    }
    void TearDown() override {
        vanish();
        QDir::setCurrent(oldDir);
    }
    static void configure(MSComm& c) {
        c.setCommPort(1);
        c.setSettings(QStringLiteral("4800,n,8,2"));
        c.setInputLen(1);
    }
    void vanish() {
        for (int* fd : {&master, &holder})
            if (*fd >= 0) ::close(*fd), *fd = -1;
    }
    template <class F> void expectErrorNamingThePort(F f) {
        try {
            f();
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("COM1 (%1)").arg(QString::fromStdString(slave))))
                << e.message().toStdString();
        }
    }
};

}  // namespace

TEST(LineSettings, TheProgramsStringAndNoOther) {
    const LineSettings s = parseLineSettings(QStringLiteral("4800,n,8,2"));
    EXPECT_TRUE(s.baud == 4800 && s.parity == 'n' && s.dataBits == 8 && s.stopBits == QStringLiteral("2"));
    for (const char* bad : {"", "4800,n,8", "4800,n,8,2,x", "fast,n,8,2", "0,n,8,2", "4800,nn,8,2", "4800,n,9,2",
                            "4800,n,8,3"})
        EXPECT_THROW(parseLineSettings(QString::fromLatin1(bad)), RuntimeError) << bad;
    EXPECT_EQ(resolvePort(4).device, QStringLiteral("/dev/ttyS3"));  // no COM4 in the working directory
}

TEST_F(OnAPty, LockedByAnotherProgramStaleInputAndWritesThatGoOutAtOnce) {
    // Another program that only locks the port (no lock file), as root.
    const int other = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(link.PortTest(1));
    expectErrorNamingThePort([&] { comm->setPortOpen(true); });
    ::close(other);
    EXPECT_TRUE(link.PortTest(1));

    (void)!::write(master, "\x01\x02\x03", 3);
    QThread::msleep(20);
    SerialControl control;
    configure(control);
    control.setPortOpen(true);
    QThread::msleep(20);
    EXPECT_TRUE(control.Input().isEmpty());
    (void)!::write(master, "\x44", 1);
    QThread::msleep(20);
    EXPECT_EQ(control.Input(), QByteArray("\x44"));
    control.Output(RadioLink::meterFrame());  // no event loop runs to send it
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    QThread::msleep(20);  // all five bytes
    char got[16];
    EXPECT_EQ(QByteArray(got, int(::read(master, got, sizeof got))), RadioLink::meterFrame());
    EXPECT_THROW(control.setCommPort(2), RuntimeError);  // not while open
    control.setPortOpen(false);
    EXPECT_THROW(control.Output(QByteArray(5, '\0')), RuntimeError);
}

TEST_F(OnAPty, ALineThatGoesAwayIsAnErrorNamingThePortAndNeverSpins) {
    link.Befehl(11);
    link.lesemeter();
    vanish();
    const std::clock_t cpuBefore = std::clock();
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_LT(double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC, 100.0);
    QElapsedTimer timer;
    timer.start();
    expectErrorNamingThePort([&] { link.lesemeter(); });
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(comm->portOpen());
    EXPECT_NO_THROW(link.Befehl(10));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
