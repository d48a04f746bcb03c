// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line on a real serial port, and where the list's port names live.

#include "radio/line.h"

#include <QString>
#include <memory>

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

// On POSIX systems the port is worked with the system's own serial calls, so
// that every wait blocks on the descriptor and a hang-up is seen at once;
// elsewhere through QSerialPort's blocking API. Either way one thread (the
// scan's) uses it at a time.
std::unique_ptr<Line> makeSerialLine();

}  // namespace qv7m
