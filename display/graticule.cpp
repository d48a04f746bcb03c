#include "display/graticule.h"
#include "core/numeric.h"
namespace qv7m {
void paintGraticule(DrawingSurface&, DrawingSurface&, const QString& disText, int16_t, double& spanUnits) {
    spanUnits = intPart(toDouble(disText)) * 100;
}
}
