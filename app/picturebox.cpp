#include "app/picturebox.h"
