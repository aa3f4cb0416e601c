#include "sim/firmware/boot_firmware.h"

namespace sim {

void AddBootFirmware(Machine& /*machine*/, FlashPart& /*biosFlash*/) {}

}  // namespace sim
