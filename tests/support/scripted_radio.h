#pragma once
// A serial control for a radio whose answers always line up with the reads:
// VFO-B follows the 8A frames, and the answer to a meter (F7) or status (10)
// request lands on reads 4 on. It records settings, opens, closes and frames
// in `events`, and refuses the ports in `badPorts`.

#include "core/runtime_error.h"
#include "radio/commcontrol.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>

class ScriptedRadio : public qv7m::CommControl {
public:
    void setCommPort(int16_t p) override { events << QStringLiteral("CommPort=%1").arg(port_ = p); }
    int16_t commPort() const override { return port_; }
    void setSettings(const QString& s) override { events << QStringLiteral("Settings=") + (settings_ = s); }
    QString settings() const override { return settings_; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override {
        events << (open ? QStringLiteral("open") : QStringLiteral("close"));
        if (open && badPorts.contains(port_)) fail("Cannot open COM%1: no such port");
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& f) override {
        if (!open_) fail("COM%1 is closed");
        frames << f;
        events << QString::fromLatin1(f.toHex(' ').toUpper());
        const auto bcd = [&](int i) { return (uint8_t(f[i]) >> 4) * 10 + (uint8_t(f[i]) & 0x0F); };
        const uint32_t count = uint32_t(vfoa) * 16;  // the status record counts 0.625 Hz
        switch (uint8_t(f[4])) {
            case 0x8A: tuned << (vfob = bcd(3) * 1000000 + bcd(2) * 10000 + bcd(1) * 100 + bcd(0)); return;
            case 0xF7: answer_ = QByteArray(4, char(meterAt(vfob))) + char(0xF7); break;
            case 0x10:
                answer_ = QByteArray(1, 0x11) + char(count >> 24) + char(count >> 16) + char(count >> 8) +
                          char(count) + QByteArray(11, 0);
                break;
            default: return;
        }
        if (silent) answer_.clear();
        reads_ = 0;
    }
    QByteArray Input() override {
        if (!open_) fail("COM%1 is closed");
        const int i = ++reads_ - 4;
        return i >= 0 ? answer_.mid(i, 1) : QByteArray();
    }
    int16_t commEvent() const override { return 0; }
    void idleWait(int ms) override { slept += ms; }

    std::function<int(int32_t)> meterAt = [](int32_t f) { return (f / 10) % 256; };
    int32_t vfoa = 1425000, vfob = 0;  // 10 Hz units
    bool silent = false;
    QSet<int> badPorts;
    QList<QByteArray> frames;
    QList<int32_t> tuned;
    QStringList events;
    int slept = 0;

private:
    [[noreturn]] void fail(const char* why) const {
        throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, QString::fromLatin1(why).arg(port_));
    }
    int16_t port_ = 1;
    QString settings_;
    bool open_ = false;
    QByteArray answer_;
    int reads_ = 0;
};
