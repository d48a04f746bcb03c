// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace qv7m {

namespace {
QFont pixelFont(const char* family, int px, bool bold = false) {
    QFont f;
    f.setFamilies({QString::fromLatin1(family), QStringLiteral("Liberation Sans")});
    f.setPixelSize(px);
    f.setBold(bold);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}
}  // namespace

QImage smeterScaleImage() {
    // The bar in front of it is 10 twips per meter count, so 255 counts span
    // the 168 pixels; the scale marks sit where the meter readings of
    // S1..S9 (17..153, 17 a unit) and +20..+60 dB fall on that bar.
    QImage img(168, 19, QImage::Format_RGB32);
    img.fill(QColor(0xC0, 0xC0, 0xC0));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const auto xOf = [](int count) { return static_cast<int>(count * 10 / 15.0 + 0.5); };
    const int s9 = xOf(153);
    p.fillRect(QRect(s9, 0, img.width() - s9, img.height()), QColor(0xE0, 0x30, 0x30));
    p.setPen(Qt::black);
    p.drawLine(0, 12, s9, 12);
    for (int s = 1; s <= 9; ++s) {
        const int x = xOf(17 * s);
        p.drawLine(x, s % 2 ? 9 : 11, x, 12);
    }
    p.setFont(pixelFont("Arial", 9));
    for (int s = 1; s <= 9; s += 2) {
        const int x = xOf(17 * s);
        p.drawText(QRect(x - 6, 0, 12, 9), Qt::AlignCenter, QString::number(s));
    }
    p.setPen(Qt::white);
    p.drawLine(s9, 12, img.width() - 1, 12);
    const int dbCounts[] = {187, 221, 255};
    const char* dbText[] = {"+20", "+40", "+60"};
    for (int i = 0; i < 3; ++i) {
        const int x = std::min(xOf(dbCounts[i]), img.width() - 1);
        p.drawLine(x, 9, x, 12);
        // keep the last label inside the picture
        const int left = std::min(x - 10, img.width() - 18);
        p.drawText(QRect(left, 0, 18, 9), Qt::AlignCenter, QString::fromLatin1(dbText[i]));
    }
    return img;
}

QImage frontPanelImage() {
    // A simple drawing of the transceiver's face: dark cabinet, display
    // window with a frequency, the big tuning knob and rows of buttons.
    QImage img(200, 64, QImage::Format_RGB32);
    img.fill(QColor(0x2A, 0x2A, 0x2E));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QColor(0x60, 0x60, 0x66));
    p.drawRect(0, 0, 199, 63);
    p.fillRect(QRect(2, 2, 196, 4), QColor(0x3C, 0x3C, 0x42));
    // display window
    p.fillRect(QRect(60, 10, 70, 22), QColor(0x10, 0x18, 0x10));
    p.setPen(QColor(0xFF, 0xA0, 0x30));
    p.setFont(pixelFont("Courier New", 11, true));
    p.drawText(QRect(60, 10, 70, 14), Qt::AlignCenter, QStringLiteral("14.250.00"));
    p.setPen(QColor(0x40, 0xD0, 0x40));
    for (int i = 0; i < 12; ++i) p.drawLine(64 + 5 * i, 29, 64 + 5 * i, 29 - (i < 7 ? i / 2 + 1 : 4 - (i - 7) / 2));
    // main tuning knob
    QRadialGradient g(QPointF(150, 38), 20);
    g.setColorAt(0, QColor(0x70, 0x70, 0x78));
    g.setColorAt(1, QColor(0x18, 0x18, 0x1C));
    p.setBrush(g);
    p.setPen(QColor(0x90, 0x90, 0x98));
    p.drawEllipse(QPointF(150, 40), 18, 18);
    p.setBrush(QColor(0x30, 0x30, 0x34));
    p.drawEllipse(QPointF(156, 34), 3, 3);
    // small knobs and buttons
    p.setPen(QColor(0x80, 0x80, 0x88));
    p.setBrush(QColor(0x44, 0x44, 0x4A));
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(14 + 16 * i, 22), 6, 6);
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(14 + 16 * i, 44), 5, 5);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < 7; ++i) p.fillRect(QRect(60 + 10 * i, 38 + 9 * row, 8, 5), QColor(0x88, 0x88, 0x90));
    p.fillRect(QRect(178, 14, 14, 6), QColor(0x88, 0x88, 0x90));
    p.fillRect(QRect(178, 24, 14, 6), QColor(0x88, 0x88, 0x90));
    p.setPen(QColor(0xD0, 0xD0, 0xD0));
    p.setFont(pixelFont("Arial", 7, true));
    p.drawText(QRect(4, 52, 60, 10), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("YAESU"));
    return img;
}

QImage iconImage(int size) {
    // A green spectrum trace on black under a short title in yellow capitals,
    // drawn on a 32-unit grid at any size.
    QImage img(size, size, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QColor(0xFF, 0xFF, 0x00));
    QFont title = pixelFont("Arial", 9, true);
    if (size > 32) title.setStyleStrategy(QFont::PreferAntialias);
    p.setFont(title);
    p.drawText(QRect(0, 0, 32, 10), Qt::AlignCenter, QStringLiteral("QV7M"));
    const int levels[] = {29, 28, 29, 27, 28, 22, 14, 22, 28, 29, 28, 26, 20, 26, 28, 29,
                          28, 29, 27, 24, 11, 24, 28, 29, 28, 27, 29, 28, 25, 28, 29, 28};
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int x = 0; x < 32; ++x) p.fillRect(QRectF(x, levels[x], 1, 32 - levels[x]), QColor(0x00, 0xDC, 0x00));
    return img;
}

}  // namespace qv7m
