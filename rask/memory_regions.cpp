#include "rask/flash_layer.h"
