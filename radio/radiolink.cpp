#include "radio/radiolink.h"
