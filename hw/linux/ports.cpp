#include <sys/io.h>

#include "hw/hw.h"

namespace hw {

int Iopl(int level) {
    return ::iopl(level);
}

std::uint8_t InByte(std::uint16_t port) {
    return ::inb(port);
}

void OutByte(std::uint16_t port, std::uint8_t value) {
    ::outb(value, port);
}

}  // namespace hw
