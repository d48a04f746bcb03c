// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime_error.h"

namespace qv7m {

RuntimeError::RuntimeError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString()), kind_(kind), message_(message) {}

}  // namespace qv7m
