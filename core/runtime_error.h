// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one error type of the program. Every failing operation (serial control,
// file, conversion, overflow) throws it; the form's error boundary catches it,
// tells the user what failed and puts the window back into its set-up state.

#include <QString>
#include <stdexcept>

namespace qv7m {

class RuntimeError : public std::runtime_error {
public:
    enum class Kind {
        Serial,        // the serial control: open, close, write, read, vanished port
        File,          // a file the program reads or writes
        TypeMismatch,  // a text that is not a number
        Overflow,      // a value outside its 16- or 32-bit range
        DivisionByZero,
        Settings,  // a line-settings string the serial control cannot take
    };

    RuntimeError(Kind kind, const QString& message);

    Kind kind() const { return kind_; }
    // The user-facing text: what failed, naming the port or file and the reason.
    const QString& message() const { return message_; }

private:
    Kind kind_;
    QString message_;
};

}  // namespace qv7m
