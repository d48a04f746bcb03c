// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's three pictures, drawn in code: the S-meter scale behind the
// meter bar, a drawing of the radio's front panel, and the window icon.

#include <QImage>

namespace qv7m {

QImage smeterScaleImage();        // 168 x 19
QImage frontPanelImage();         // 200 x 64
QImage iconImage(int size = 32);  // size x size

}  // namespace qv7m
