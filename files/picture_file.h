// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plot saved as a picture.

#include <QImage>
#include <QString>

namespace qv7m {

// Writes the picture as a PNG file; throws fileError when it cannot.
void savePicture(const QString& path, const QImage& picture);

}  // namespace qv7m
