// A stand-in deliverable for the build's own tests: it exports one C name
// and one C++ name, and has internals that must stay hidden even though
// they are external functions, as a real library's are.
#include "hw/hw.h"
#include "include/export.h"

namespace probe {

int HiddenHelper(int value) {
    return value * 2;
}

SRVFW_EXPORT int Typed(int value) {
    return HiddenHelper(value) + 1;
}

}  // namespace probe

extern "C" SRVFW_EXPORT int ProbeExported(void) {
    return probe::Typed(static_cast<int>(hw::InByte(0x80)));
}
