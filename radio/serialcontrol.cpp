#include "radio/serialcontrol.h"

#include "core/runtime_error.h"
#include "radio/alignedcomm.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSocketNotifier>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

namespace qv7m {

namespace {

RuntimeError serialError(const QString& message) { return RuntimeError(RuntimeError::Kind::Serial, message); }

#ifdef Q_OS_UNIX
QString systemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }
#endif

// Writes give up when the system has taken nothing for this long: at 4800 baud
// the system's buffer drains in a few seconds even when it is full.
constexpr LineTime kWriteStall = 5000 * kMillisecond;

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

LineSettings parseLineSettings(const QString& text) {
    auto bad = [&]() {
        return RuntimeError(RuntimeError::Kind::Settings,
                            QStringLiteral("Invalid line settings \"%1\" (expected baud,parity,data bits,stop bits, "
                                           "e.g. \"4800,n,8,2\")")
                                .arg(text));
    };
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) throw bad();
    LineSettings s;
    bool ok = false;
    s.baud = fields[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) throw bad();
    const QString parity = fields[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) throw bad();
    s.parity = parity.at(0).toLatin1();
    s.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8) throw bad();
    s.stopBits = fields[3].trimmed();
    if (s.stopBits != QLatin1String("1") && s.stopBits != QLatin1String("1.5") && s.stopBits != QLatin1String("2"))
        throw bad();
    return s;
}

SerialControl::SerialControl() { settings_ = parseLineSettings(settingsText_); }

SerialControl::~SerialControl() { close(); }

QString SerialControl::portText() const {
    const PortName p = serial_ ? openName_ : resolvePort(port_);
    return QStringLiteral("%1 (%2)").arg(p.name, p.device);
}

void SerialControl::fail(const QString& what) { throw serialError(QStringLiteral("%1: %2").arg(portText(), what)); }

void SerialControl::throwIfGone() {
    if (gone_.isEmpty()) return;
    const QString message = gone_;
    gone_.clear();
    throw serialError(message);
}

void SerialControl::setCommPort(int16_t port) {
    if (portOpen()) fail(QStringLiteral("the port number cannot change while the port is open"));
    if (port < 1) throw serialError(QStringLiteral("Invalid port number %1").arg(port));
    port_ = port;
}

void SerialControl::setSettings(const QString& text) {
    settings_ = parseLineSettings(text);
    settingsText_ = text;
    if (portOpen()) applySettings();
}

void SerialControl::applySettings() {
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (settings_.parity) {
    case 'e': parity = QSerialPort::EvenParity; break;
    case 'o': parity = QSerialPort::OddParity; break;
    case 'm': parity = QSerialPort::MarkParity; break;
    case 's': parity = QSerialPort::SpaceParity; break;
    default: break;
    }
    const QSerialPort::StopBits stop = settings_.stopBits == QLatin1String("2")     ? QSerialPort::TwoStop
                                       : settings_.stopBits == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                                                    : QSerialPort::OneStop;
    const bool ok = serial_->setBaudRate(settings_.baud) &&
                    serial_->setDataBits(QSerialPort::DataBits(settings_.dataBits)) && serial_->setParity(parity) &&
                    serial_->setStopBits(stop) && serial_->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok && serial_->isOpen())
        fail(QStringLiteral("cannot apply the line settings \"%1\": %2").arg(settingsText_, serial_->errorString()));
}

bool SerialControl::portOpen() const { return serial_ != nullptr && serial_->isOpen(); }

void SerialControl::setPortOpen(bool open) {
    if (open)
        this->open();
    else
        close();
}

void SerialControl::open() {
    if (portOpen()) fail(QStringLiteral("the port is already open"));
    gone_.clear();
    pending_.clear();
    const PortName name = resolvePort(port_);
    auto* serial = new QSerialPort(&context_);
    serial->setPortName(name.device);
    serial_ = serial;
    openName_ = name;
    applySettings();
    auto giveUp = [&](const QString& reason) {
        serial->close();
        delete serial;
        serial_ = nullptr;
        throw serialError(QStringLiteral("Cannot open %1 (%2): %3").arg(name.name, name.device, reason));
    };
    if (!serial->open(QIODevice::ReadWrite)) {
        // The port's lock file is held: another program (or this one) has it.
        if (serial->error() == QSerialPort::PermissionError && serial->errorString().contains(QLatin1String("lock")))
            giveUp(QStringLiteral("the port is in use by another program (%1)").arg(serial->errorString()));
        giveUp(serial->errorString());
    }
    fd_ = int(serial->handle());
#ifdef Q_OS_UNIX
    // The system's exclusive mode does not hold against root, and the lock
    // file only against programs that look for it; an exclusive lock on the
    // open port keeps a second copy of this program (or of the link in this
    // one) out whoever runs it.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        giveUp(error == EWOULDBLOCK ? QStringLiteral("the port is in use by another program") : systemReason(error));
    }
    // All reading happens here, where every byte is stamped as it comes in and
    // a hang-up is noticed; the port's own reader is switched off.
    for (QSocketNotifier* n : serial->findChildren<QSocketNotifier*>()) n->setEnabled(false);
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, &context_);
    QObject::connect(notifier_, &QSocketNotifier::activated, &context_, [this] { collect(); });
#endif
    QObject::connect(serial, &QSerialPort::readyRead, &context_, [this] { collect(); });
    // Whatever came in before the port was ours answers nothing we asked.
    serial->clear(QSerialPort::Input);
}

void SerialControl::close() {
    if (notifier_) {
        // This may run inside the notifier's own signal: switch it off now and
        // let it go later.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (serial_) {
        serial_->close();
        serial_->deleteLater();
        serial_ = nullptr;
    }
    fd_ = -1;
    pending_.clear();
}

void SerialControl::vanished(const QString& reason) {
    if (!serial_) return;
    gone_ = QStringLiteral("%1: the port has gone away (%2)").arg(portText(), reason);
    close();
}

void SerialControl::raise(int16_t event) {
    commEvent_ = event;
    if (eventPosted_) return;
    eventPosted_ = true;
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            eventPosted_ = false;
            if (onComm) onComm();
        },
        Qt::QueuedConnection);
}

LineTime SerialControl::now() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SerialControl::collect() {
    if (!serial_) return;
    const size_t before = pending_.size();
    if (serial_->bytesAvailable() > 0) {
        const QByteArray data = serial_->readAll();
        const LineTime at = now();
        for (char c : data) pending_.push_back({uint8_t(c), at});
    }
#ifdef Q_OS_UNIX
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            vanished(p.revents & POLLHUP ? QStringLiteral("the line was hung up; device disconnected?")
                                         : QStringLiteral("the device reports an error"));
            return;
        }
        char buffer[512];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            const LineTime at = now();
            for (ssize_t i = 0; i < n; ++i) pending_.push_back({uint8_t(buffer[i]), at});
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            vanished(systemReason(errno));
            return;
        }
        break;
    }
#else
    if (serial_->error() == QSerialPort::ResourceError) {
        vanished(serial_->errorString());
        return;
    }
#endif
    if (pending_.size() > before && rThreshold_ > 0) raise(comEvReceive);
}

void SerialControl::receive(LineTime deadline, std::vector<StampedByte>& out) {
    throwIfGone();
    if (!portOpen()) fail(QStringLiteral("the port is not open"));
    for (;;) {
        collect();
        throwIfGone();
        if (!pending_.empty()) {
            out.insert(out.end(), pending_.begin(), pending_.end());
            pending_.clear();
            return;
        }
        const LineTime left = deadline - now();
        if (left <= 0) return;
#ifdef Q_OS_UNIX
        pollfd p{fd_, POLLIN, 0};
        const timespec timeout{time_t(left / 1000000000), long(left % 1000000000)};
        if (::ppoll(&p, 1, &timeout, nullptr) < 0 && errno != EINTR) {
            vanished(systemReason(errno));
            throwIfGone();
        }
#else
        serial_->waitForReadyRead(int(std::max<LineTime>(1, (left + kMillisecond - 1) / kMillisecond)));
#endif
    }
}

void SerialControl::Output(const QByteArray& bytes) {
    throwIfGone();
    if (!portOpen()) fail(QStringLiteral("the port is not open"));
#ifdef Q_OS_UNIX
    const char* data = bytes.constData();
    size_t left = size_t(bytes.size());
    const LineTime giveUpAt = now() + kWriteStall;
    while (left > 0) {
        const ssize_t n = ::write(fd_, data, left);
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
            pollfd p{fd_, POLLOUT, 0};
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
#else
    if (serial_->write(bytes) != bytes.size() || !serial_->flush()) {
        if (serial_->error() == QSerialPort::ResourceError) {
            vanished(serial_->errorString());
            throwIfGone();
        }
        fail(QStringLiteral("cannot write: %1").arg(serial_->errorString()));
    }
#endif
    if (sThreshold_ > 0) raise(comEvSend);
}

QByteArray SerialControl::Input() {
    throwIfGone();
    if (!portOpen()) fail(QStringLiteral("the port is not open"));
    collect();
    throwIfGone();
    const size_t count = inputLen_ <= 0 ? pending_.size() : std::min(pending_.size(), size_t(inputLen_));
    QByteArray result;
    for (size_t i = 0; i < count; ++i) {
        result.append(char(pending_.front().value));
        pending_.pop_front();
    }
    return result;
}

void SerialControl::idleWait(int ms) {
    if (!portOpen()) {
        throwIfGone();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    // Keep what arrives for the next Input.
    const LineTime deadline = now() + LineTime(ms) * kMillisecond;
    std::vector<StampedByte> got;
    while (now() < deadline) receive(deadline, got);
    pending_.insert(pending_.begin(), got.begin(), got.end());
}

std::unique_ptr<CommControl> makeSerialControl() {
    return std::make_unique<AlignedComm>(std::make_unique<SerialControl>());
}

}  // namespace qv7m
