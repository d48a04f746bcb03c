#include "display/surface.h"
