#pragma once
// The serial control on a real port (QSerialPort), the port names, the line
// settings, and the stack the program talks to.

#include "radio/rawline.h"

#include <QObject>
#include <QString>
#include <deque>
#include <memory>

class QSerialPort;
class QSocketNotifier;

namespace qv7m {

// Where port number n lives: its name in the list ("COM1") and the device
// that is opened. On Windows that is the system's port of that name;
// elsewhere a file "COMn" in the working directory (usually a symbolic link
// to the device, followed to its end), else the platform's n-th serial port.
struct PortName {
    QString name;
    QString device;
};
PortName resolvePort(int16_t n);

// "4800,n,8,2": baud, parity (n, e, o, m, s), data bits (5 to 8), stop bits
// (1, 1.5, 2). Anything else throws RuntimeError(Settings).
struct LineSettings {
    int baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    QString stopBits = QStringLiteral("1");
};
LineSettings parseLineSettings(const QString& text);

class SerialControl : public RawLine {
public:
    // The classic control's event codes that this control raises.
    static constexpr int16_t comEvSend = 1;
    static constexpr int16_t comEvReceive = 2;

    SerialControl();
    ~SerialControl() override;

    void setCommPort(int16_t port) override;
    int16_t commPort() const override { return port_; }
    void setSettings(const QString& settings) override;
    QString settings() const override { return settingsText_; }
    void setRThreshold(int16_t n) override { rThreshold_ = n; }
    void setSThreshold(int16_t n) override { sThreshold_ = n; }
    void setInputLen(int16_t n) override { inputLen_ = n; }
    void setPortOpen(bool open) override;
    bool portOpen() const override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int16_t commEvent() const override { return commEvent_; }
    void idleWait(int ms) override;

    LineTime now() const override;
    void receive(LineTime deadline, std::vector<StampedByte>& out) override;

    // The device path of the open port (empty while closed).
    QString device() const { return openName_.device; }

private:
    void open();
    void close();
    void applySettings();
    [[noreturn]] void fail(const QString& what);
    void throwIfGone();
    QString portText() const;
    void collect();  // takes in what the system has, non-blocking
    void vanished(const QString& reason);
    void raise(int16_t event);

    QObject context_;  // owns the port and the notifier; target of posted events
    QSerialPort* serial_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    int fd_ = -1;
    PortName openName_;
    int16_t port_ = 1;
    QString settingsText_ = QStringLiteral("9600,n,8,1");
    LineSettings settings_;
    int16_t rThreshold_ = 0;
    int16_t sThreshold_ = 0;
    int16_t inputLen_ = 0;
    int16_t commEvent_ = 0;
    bool eventPosted_ = false;
    std::deque<StampedByte> pending_;
    QString gone_;  // why the port went away, until the next operation reports it
};

// The serial control the program uses: the real port with the layer that
// lines the radio's answers up with the reads on top.
std::unique_ptr<CommControl> makeSerialControl();

}  // namespace qv7m
