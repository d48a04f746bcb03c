// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/picture_file.h"

#include "files/whole_file.h"

#include <QBuffer>

namespace qv7m {

void savePicture(const QString& path, const QImage& picture) {
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!picture.save(&png, "PNG") || png.data().isEmpty())
        throw fileError(path, QStringLiteral("nothing could be made to save"));
    writeWholeFile(path, png.data());
}

}  // namespace qv7m
