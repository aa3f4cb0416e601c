#include "sim/chipset/memory_window.h"

namespace sim {

void AddMemoryWindow(Machine& /*machine*/, FlashPart& /*biosFlash*/) {}

}  // namespace sim
