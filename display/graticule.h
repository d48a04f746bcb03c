#pragma once
// stand-in until the display lands
#include "display/surface.h"
#include <QString>
#include <cstdint>
namespace qv7m {
void paintGraticule(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText, int16_t styleIndex,
                    double& spanUnits);
}
