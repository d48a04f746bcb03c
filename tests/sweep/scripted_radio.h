#pragma once
// A serial control that behaves like a radio whose answers always line up
// with the reads: VFO-B follows the 8A frames, the meter answer lands on reads
// 4 and 5 of a meter request, the status record on reads 4.. of a status
// request. It records every frame and every open and close.

#include "core/runtime_error.h"
#include "radio/mscomm.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

class ScriptedRadio : public qv7m::MSComm {
public:
    void setCommPort(int16_t p) override { port_ = p; }
    int16_t commPort() const override { return port_; }
    void setSettings(const QString& s) override { settings_ = s; }
    QString settings() const override { return settings_; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override {
        events << (open ? QStringLiteral("open") : QStringLiteral("close"));
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& f) override {
        if (!open_) throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, QStringLiteral("COM1 is closed"));
        frames << f;
        events << QString::fromLatin1(f.toHex(' ').toUpper());
        const auto op = static_cast<uint8_t>(f.at(4));
        if (op == 0x8A) {
            auto bcd = [&](int i) {
                const auto b = static_cast<uint8_t>(f.at(i));
                return (b >> 4) * 10 + (b & 0x0F);
            };
            vfob = bcd(3) * 1000000 + bcd(2) * 10000 + bcd(1) * 100 + bcd(0);
            tuned << vfob;
        } else if (op == 0xF7) {
            answer_ = silent ? QByteArray() : QByteArray(4, char(meterAt(vfob))) + char(0xF7);
            reads_ = 0;
        } else if (op == 0x10) {
            const uint32_t count = static_cast<uint32_t>(static_cast<uint64_t>(vfoa) * 16);  // 0.625 Hz units
            QByteArray rec(16, '\0');
            rec[0] = 0x11;
            rec[1] = char(count >> 24);
            rec[2] = char(count >> 16);
            rec[3] = char(count >> 8);
            rec[4] = char(count);
            answer_ = silent ? QByteArray() : rec;
            reads_ = 0;
        }
    }
    QByteArray Input() override {
        if (!open_) throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, QStringLiteral("COM1 is closed"));
        ++reads_;
        const int i = reads_ - 4;
        return i >= 0 && i < answer_.size() ? answer_.mid(i, 1) : QByteArray();
    }
    int16_t commEvent() const override { return 0; }
    void idleWait(int ms) override { slept += ms; }

    std::function<int(int32_t)> meterAt = [](int32_t f) { return (f / 10) % 256; };
    int32_t vfoa = 1425000;  // 10 Hz units
    int32_t vfob = 0;
    bool silent = false;
    QList<QByteArray> frames;
    QList<int32_t> tuned;
    QStringList events;
    int slept = 0;

private:
    int16_t port_ = 1;
    QString settings_;
    bool open_ = false;
    QByteArray answer_;
    int reads_ = 0;
};
