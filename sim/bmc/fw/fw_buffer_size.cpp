#include "sim/bmc/fw/fw_buffer_size.h"

#include <cstdio>

#include "sim/bmc/fw/fw_controller.h"
#include "sim/bmc/fw/fw_log.h"

namespace sim::fw {

void RegisterBufferSize(ipmi::Controller& controller, std::array<std::uint8_t, 2> units,
                        VirtualClock& clock, RequestLog& log) {
    const std::uint8_t first = units[0];
    const std::uint8_t second = units[1];
    auto logged = [&controller, &clock, &log, first, second](std::uint8_t code) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "cc=%02X at=%llu units=%02X:%02X", code,
                      static_cast<unsigned long long>(clock.NowNs()), first, second);
        log.Add({kLogComponent, "buffer-size", controller.Address(), code, 0, detail});
    };
    controller.Commands().Register(
        kNetFnVendor, kGetBufferSize, {ipmi::RequestLength::Exactly(0), ipmi::kLunZero},
        [logged, first, second](const ipmi::Request&) {
            logged(ipmi::kOk);
            return ipmi::Response{ipmi::kOk, {first, second}};
        },
        [logged](const ipmi::Request&, std::uint8_t code) { logged(code); });
}

}  // namespace sim::fw
