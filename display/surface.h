// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drawing surface of a picture box: twips from the top-left corner, the
// operations the program draws with, and nothing else. The real one paints
// into a backing image that the widget shows; a recording one lets tests read
// the exact primitives.

#include <QString>
#include <cstdint>

namespace qv7m {

// 0x00BBGGRR, as RGB(r, g, b) = r + 256*g + 65536*b.
using OleColor = uint32_t;
constexpr OleColor RGB(int r, int g, int b) {
    return static_cast<OleColor>(r) + 256u * static_cast<OleColor>(g) + 65536u * static_cast<OleColor>(b);
}

class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    virtual double width() const = 0;   // twips
    virtual double height() const = 0;  // twips
    virtual OleColor backColor() const = 0;
    virtual OleColor foreColor() const = 0;

    // Fills the surface with its background colour and puts the print position at (0, 0).
    virtual void clear() = 0;
    // A straight line from (x1, y1) to (x2, y2), one pixel wide.
    virtual void line(float x1, float y1, float x2, float y2, OleColor color) = 0;
    // The box with the two points as opposite corners, outlined and filled.
    virtual void filledBox(float x1, float y1, float x2, float y2, OleColor color) = 0;

    virtual void setCurrentX(float x) = 0;
    virtual void setCurrentY(float y) = 0;
    virtual float currentX() const = 0;
    virtual float currentY() const = 0;
    // Prints one text item in the surface's font and foreground colour at the
    // print position, then ends the line: x returns to 0, y moves one line down.
    virtual void print(const QString& text) = 0;
};

}  // namespace qv7m
