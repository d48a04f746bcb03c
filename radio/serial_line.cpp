// SPDX-License-Identifier: GPL-3.0-or-later
#include "radio/serial_line.h"

#include "core/runtime_error.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#else
#include <QSerialPort>
#endif
#ifndef Q_OS_LINUX
#include <QSerialPortInfo>
#endif

namespace qv7m {

namespace {

RuntimeError serialError(const QString& message) { return RuntimeError(RuntimeError::Kind::Serial, message); }

// Writes give up when the system has taken nothing for this long: at 4800 baud
// the system's buffer drains in a few seconds even when it is full.
constexpr LineTime kWriteStall = 5000 * kMillisecond;

LineTime steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What the line classes share: the port's name, and a reason kept from the
// moment the port went away until the next operation reports it.
class PortLine : public Line {
public:
    LineTime now() const override { return steadyNow(); }
    void sleep(LineTime duration) override { std::this_thread::sleep_for(std::chrono::nanoseconds(duration)); }

protected:
    // What every open does first: refuse a second open or a port that cannot
    // be, forget why the last one went, and find the device.
    PortName beginOpen(int16_t port) {
        if (isOpen()) fail(QStringLiteral("the port is already open"));
        if (port < 1) throw serialError(QStringLiteral("Invalid port number %1").arg(port));
        gone_.clear();
        return resolvePort(port);
    }
    QString portText() const { return QStringLiteral("%1 (%2)").arg(name_.name, name_.device); }
    [[noreturn]] void fail(const QString& what) const {
        throw serialError(QStringLiteral("%1: %2").arg(portText(), what));
    }
    [[noreturn]] void cannotOpen(const PortName& name, const QString& reason) const {
        throw serialError(QStringLiteral("Cannot open %1 (%2): %3").arg(name.name, name.device, reason));
    }
    void vanished(const QString& reason) {
        gone_ = QStringLiteral("%1: the port has gone away (%2)").arg(portText(), reason);
        close();
    }
    void throwIfGone() {
        if (gone_.isEmpty()) return;
        const QString message = gone_;
        gone_.clear();
        throw serialError(message);
    }
    void checkOpen() {
        throwIfGone();
        if (!isOpen()) fail(QStringLiteral("the port is not open"));
    }

    PortName name_;
    QString gone_;
};

#ifdef Q_OS_UNIX

QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

class PosixLine : public PortLine {
public:
    ~PosixLine() override { close(); }

    void open(int16_t port, const LineSettings& settings) override {
        const PortName name = beginOpen(port);
        const int fd = ::open(name.device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) cannotOpen(name, systemReason(errno));
        auto giveUp = [&](const QString& reason) {
            ::close(fd);
            cannotOpen(name, reason);
        };
        // The system's exclusive mode does not hold against root, and a lock
        // file only against programs that look for it; an exclusive lock on
        // the open port keeps a second copy of this program out whoever runs it.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            giveUp(error == EWOULDBLOCK ? QStringLiteral("the port is in use by another program")
                                        : systemReason(error));
        }
        ::ioctl(fd, TIOCEXCL);
        termios t{};
        if (::tcgetattr(fd, &t) != 0) giveUp(QStringLiteral("not a serial port (%1)").arg(systemReason(errno)));
        ::cfmakeraw(&t);
        t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
        t.c_cflag |= CLOCAL | CREAD | (settings.dataBits == 7 ? CS7 : CS8) | (settings.stopBits == 2 ? CSTOPB : 0);
        t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
        // With nothing there a non-blocking read then says so (EAGAIN), and
        // only a hang-up reads as the end of the file.
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        const speed_t speed = settings.baud == 9600 ? B9600 : settings.baud == 19200 ? B19200 : B4800;
        if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(fd, TCSANOW, &t) != 0)
            giveUp(QStringLiteral("cannot apply the line settings (%1)").arg(systemReason(errno)));
        // Whatever came in before the port was ours answers nothing we asked.
        ::tcflush(fd, TCIFLUSH);
        name_ = name;
        settings_ = t;
        wakeAfter_ = 1;
        fd_.store(fd);
    }

#ifdef Q_OS_LINUX
    // The terminal layer's poll reports input only once VMIN bytes are there
    // (with VTIME 0), while a non-blocking read still takes whatever has come.
    // VMIN only changes how reads wait, which the adapter never sees.
    bool wakeAfterBytes(int n) override {
        n = std::clamp(n, 1, 255);
        if (n == wakeAfter_ || fd_.load() < 0) return true;
        termios t = settings_;
        t.c_cc[VMIN] = cc_t(n);
        if (::tcsetattr(fd_.load(), TCSANOW, &t) != 0) return false;
        wakeAfter_ = n;
        return true;
    }
#endif

    void close() override {
        const int fd = fd_.exchange(-1);
        if (fd >= 0) ::close(fd);
    }

    bool isOpen() const override { return fd_.load() >= 0; }

    void write(const uint8_t* data, size_t left) override {
        checkOpen();
        const int fd = fd_.load();
        const LineTime giveUpAt = now() + kWriteStall;
        while (left > 0) {
            const ssize_t n = ::write(fd, data, left);
            if (n > 0) {
                data += n;
                left -= size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The system's buffer is full: only possible far ahead of the wire.
                const LineTime wait = giveUpAt - now();
                if (wait <= 0) fail(QStringLiteral("the port does not take any more data"));
                pollfd p{fd, POLLOUT, 0};
                const timespec timeout{time_t(wait / 1000000000), long(wait % 1000000000)};
                if (::ppoll(&p, 1, &timeout, nullptr) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    vanished(QStringLiteral("the line was hung up; device disconnected?"));
                    throwIfGone();
                }
                continue;
            }
            vanished(systemReason(n < 0 ? errno : EIO));
            throwIfGone();
        }
    }

    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        checkOpen();
        for (;;) {
            if (collect(out)) return;
            throwIfGone();
            const LineTime left = deadline - now();
            if (left <= 0) return;
            pollfd p{fd_.load(), POLLIN, 0};
            const timespec timeout{time_t(left / 1000000000), long(left % 1000000000)};
            const int r = ::ppoll(&p, 1, &timeout, nullptr);
            if (r < 0 && errno != EINTR) {
                vanished(systemReason(errno));
                throwIfGone();
            }
            // A hang-up with nothing left to read shows at once, not at the deadline.
            if (r > 0 && !(p.revents & POLLIN) && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                vanished(p.revents & POLLHUP ? QStringLiteral("the line was hung up; device disconnected?")
                                             : QStringLiteral("the device reports an error"));
                throwIfGone();
            }
        }
    }

private:
    termios settings_{};
    int wakeAfter_ = 1;
    // Takes in what the system has without waiting; true when anything came.
    // The port is non-blocking: a read finds what is there, or nothing, in
    // one call; end of file on a terminal is its hang-up.
    bool collect(std::vector<StampedByte>& out) {
        const size_t before = out.size();
        const int fd = fd_.load();
        for (;;) {
            uint8_t buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                const LineTime at = now();
                for (ssize_t i = 0; i < n; ++i) out.push_back({buffer[i], at});
                if (size_t(n) < sizeof buffer) break;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || (n < 0 && errno == EIO))
                vanished(QStringLiteral("the line was hung up; device disconnected?"));
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                vanished(systemReason(errno));
            break;
        }
        // Bytes that came before a hang-up are still the radio's.
        if (out.size() > before) return true;
        throwIfGone();
        return false;
    }

    // Written by close() on whichever thread ends the program; read by the scan's.
    std::atomic<int> fd_{-1};
};

#else

class QtSerialLine : public PortLine {
public:
    ~QtSerialLine() override { close(); }

    void open(int16_t port, const LineSettings& settings) override {
        const PortName name = beginOpen(port);
        auto serial = std::make_unique<QSerialPort>();
        serial->setPortName(name.device);
        if (!serial->open(QIODevice::ReadWrite)) cannotOpen(name, serial->errorString());
        const bool ok = serial->setBaudRate(settings.baud) &&
                        serial->setDataBits(settings.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8) &&
                        serial->setParity(QSerialPort::NoParity) &&
                        serial->setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
                        serial->setFlowControl(QSerialPort::NoFlowControl);
        if (!ok) cannotOpen(name, QStringLiteral("cannot apply the line settings (%1)").arg(serial->errorString()));
        serial->clear(QSerialPort::Input);
        name_ = name;
        serial_ = std::move(serial);
    }

    void close() override {
        if (serial_) serial_->close();
        serial_.reset();
    }

    bool isOpen() const override { return serial_ && serial_->isOpen(); }

    void write(const uint8_t* data, size_t count) override {
        checkOpen();
        const qint64 n = serial_->write(reinterpret_cast<const char*>(data), qint64(count));
        while (n == qint64(count) && serial_->bytesToWrite() > 0)
            if (!serial_->waitForBytesWritten(int(kWriteStall / kMillisecond))) break;
        if (n != qint64(count) || serial_->bytesToWrite() > 0) failed(QStringLiteral("cannot write"));
    }

    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        checkOpen();
        for (;;) {
            const QByteArray data = serial_->readAll();
            if (!data.isEmpty()) {
                const LineTime at = now();
                for (char c : data) out.push_back({uint8_t(c), at});
                return;
            }
            if (serial_->error() == QSerialPort::ResourceError) failed(QStringLiteral("the port failed"));
            const LineTime left = deadline - now();
            if (left <= 0) return;
            serial_->waitForReadyRead(int(std::max<LineTime>(1, (left + kMillisecond - 1) / kMillisecond)));
        }
    }

private:
    void failed(const QString& what) {
        if (serial_->error() == QSerialPort::ResourceError) {
            vanished(serial_->errorString());
            throwIfGone();
        }
        fail(QStringLiteral("%1: %2").arg(what, serial_->errorString()));
    }

    std::unique_ptr<QSerialPort> serial_;
};

#endif

}  // namespace

PortName resolvePort(int16_t n) {
    const QString name = QStringLiteral("COM%1").arg(n);
#ifdef Q_OS_WIN
    return {name, name};
#else
    const QFileInfo local(QDir::current().filePath(name));
    if (local.exists()) return {name, local.canonicalFilePath()};
    // A link whose device is missing (adapter unplugged) still names the port
    // the user meant; opening it reports the missing device instead of
    // quietly opening some other port.
    if (local.isSymLink()) return {name, local.symLinkTarget()};
#ifdef Q_OS_LINUX
    return {name, QStringLiteral("/dev/ttyS%1").arg(n - 1)};
#else
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) devices << info.systemLocation();
    devices.sort();
    if (n >= 1 && n <= devices.size()) return {name, devices.at(n - 1)};
    return {name, QStringLiteral("(no serial port %1 on this system)").arg(n)};
#endif
#endif
}

std::unique_ptr<Line> makeSerialLine() {
#ifdef Q_OS_UNIX
    return std::make_unique<PosixLine>();
#else
    return std::make_unique<QtSerialLine>();
#endif
}

}  // namespace qv7m
