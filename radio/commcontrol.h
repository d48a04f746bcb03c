#pragma once
// The serial control as the program uses it: the operations of the classic
// communications control, nothing more. The real one sits on QSerialPort; a
// scripted one serves unit tests that check exact bytes.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace qv7m {

class CommControl {
public:
    virtual ~CommControl() = default;

    // Port number 1..n for the next open; written only while the port is closed.
    virtual void setCommPort(int16_t port) = 0;
    virtual int16_t commPort() const = 0;
    // Line parameters for the next open, e.g. "4800,n,8,2". A string that
    // cannot be parsed throws RuntimeError(Settings).
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;
    virtual void setRThreshold(int16_t n) = 0;
    virtual void setSThreshold(int16_t n) = 0;
    virtual void setInputLen(int16_t n) = 0;

    // True opens the selected port (RuntimeError(Serial) naming the port and the
    // system's reason when it cannot); false closes it.
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // Sends the bytes in order, handed to the system in one write.
    virtual void Output(const QByteArray& bytes) = 0;
    // Removes and returns at most InputLen received bytes; empty when nothing
    // is waiting.
    virtual QByteArray Input() = 0;

    virtual int16_t commEvent() const = 0;

    // Not a control operation: the program's Sleep. A control that lines
    // answers up with reads overrides it to keep taking in bytes while it waits.
    virtual void idleWait(int ms);

    // Raised on the GUI thread (through the event queue) for comm events.
    std::function<void()> onComm;
};

inline void CommControl::idleWait(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace qv7m
