// What tarvo tells the user after a flash pass failed (exit codes 67, 68,
// 69): the flash is then partly erased or written and the machine may not
// start from it, so the report says which blocks were changed, not to
// restart, and the exact commands that put a whole BIOS back.
#ifndef SRVFW_TARVO_RECOVERY_ADVICE_H
#define SRVFW_TARVO_RECOVERY_ADVICE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tarvo/bios_flash.h"
#include "tarvo/options.h"

namespace tarvo {

// The command line to run again, as a shell would take it: the arguments
// of this run without "/o" (a second save would replace the good copy with
// the damaged flash), with "/n" added when the block holding the ROM ID was
// changed (it reads FFh now, so no image would match it). With savedFile,
// the same for flashing that file instead: its "/i", and no "/s", which
// would change the saved bytes.
std::string RecoveryCommand(int argc, const char* const* argv, bool addNoRomIdCheck,
                            const std::string* savedFile = nullptr);

// Whether one of the touched blocks holds the ROM ID (ROM offset ROM size -
// 32).
bool TouchesRomId(const FlashLayout& layout, const std::vector<std::uint32_t>& touched);

// Prints the advice, in quiet mode too.
void PrintRecoveryAdvice(int argc, const char* const* argv, const Options& options,
                         const FlashLayout& layout, const std::vector<std::uint32_t>& touched);

}  // namespace tarvo

#endif
