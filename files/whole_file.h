// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How every file the program writes whole is written, and how a failing file
// operation is reported: a RuntimeError of kind File, "<file>: <reason>".

#include "core/runtime_error.h"

#include <QByteArray>
#include <QString>

namespace qv7m {

// The error of a failing file operation on path, with the system's reason.
RuntimeError fileError(const QString& path, const QString& reason);

// Replaces the file with bytes in one step, so that a failed write leaves any
// old file as it was. A folder the user may not write into can still hold a
// file they may: that file is then truncated and written in place. Throws
// fileError when the file cannot be written.
void writeWholeFile(const QString& path, const QByteArray& bytes);

}  // namespace qv7m
