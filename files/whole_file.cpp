// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/whole_file.h"

#include <QDir>
#include <QSaveFile>

namespace qv7m {

RuntimeError fileError(const QString& path, const QString& reason) {
    return RuntimeError(RuntimeError::Kind::File, QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason);
}

void writeWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly)) throw fileError(path, f.errorString());
    if (f.write(bytes) != bytes.size()) {
        const QString reason = f.errorString();
        f.cancelWriting();
        throw fileError(path, reason);
    }
    if (!f.commit()) throw fileError(path, f.errorString());
}

}  // namespace qv7m
