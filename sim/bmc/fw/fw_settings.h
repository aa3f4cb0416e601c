// The settings and faults of the simulated controllers' firmware
// (sim/bmc/fw/fw_controller.h). NAME is "bmc" or the satellite's name
// (sim/bmc/ipmb.h: front_panel, hsc0, hsc1 by default); numbers decimal or
// 0x-hexadecimal.
//   fw.vitesse=hsc1         the hot-swap controller that is a Vitesse part
//                           (device name "VSC"); empty: none
//   fw.NAME.size=N          memory bytes (BMC 2 MiB, front panel 64 KiB,
//                           hot-swap 128 KiB; the front panel at most 64 KiB)
//   fw.NAME.buffer_units=A:B  GetBufferSize bytes 0 and 1 (BMC 3Ch:3Ch, 240
//                           bytes, which a KCS frame of 256 carries with
//                           its headers; satellites 08h:08h; the
//                           management engine's too, fw.me.buffer_units)
//   fw.NAME.write_buffer=N  the most bytes one WriteLowlvl takes (BMC
//                           4000h, the blocks of the session path;
//                           satellites 32)
//   fw.NAME.restart_ms=N    virtual time a restart answers nothing (BMC
//                           90000, satellites 20000; the Vitesse part
//                           answers its whole seconds, rounded up)
//   fw.NAME.not_in_mode_cc=0xD5  answer to a firmware command outside
//                           transfer mode
//   fw.NAME.protect=FIRST:LAST,...  address ranges no write may touch
//   fw.NAME.file=fw-NAME.bin  the memory in the state directory
//   The first image, before any file (sim/bmc/fw/fw_image_builder.h):
//   fw.NAME.boot_version=1.00  fw.NAME.opcode_version=1.20
//   fw.NAME.pia_version=1.00   fw.NAME.efs_version=1.00
//                           MAJOR.MINOR, the minor as the hexadecimal byte
//                           Get Device ID reports ("1.20": 01h, 20h)
//   fw.NAME.identification=SIMBMC  the BootInfo identification string
//   fw.NAME.block_format=6  fw.NAME.pia_type=2
// The BMC's image names bmc.product_id (default 0100h) in its PIA.
// Faults (TIMES a number or "always"; counts start afresh in each process):
//   fw.NAME.fault.stop_after=N  after N firmware commands (netFn 08h) the
//                           controller answers nothing more
//   fw.NAME.fault.refuse_write=TIMES[:CC]  WriteLowlvl answers CC (default
//                           FFh) and stores nothing
//   fw.NAME.fault.bad_checksum=TIMES  RangeCheckSum answers a value one off
//   fw.NAME.fault.stuck_in_mode=1  Exit answers 00h but the controller
//                           stays in transfer mode and does not restart
//   fw.NAME.fault.enter_refused=TIMES[:CC]  Enter answers CC (default C0h)
// A value that cannot be understood throws std::invalid_argument naming the
// setting.
#ifndef SRVFW_SIM_BMC_FW_FW_SETTINGS_H
#define SRVFW_SIM_BMC_FW_FW_SETTINGS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bmc/fw/fw_image_builder.h"
#include "sim/core/fault_count.h"
#include "sim/core/settings.h"

namespace sim::fw {

struct ProtectedRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};

struct FirmwareConfig {
    std::string name;
    bool vitesse = false;
    std::array<std::uint8_t, 2> bufferUnits{0x08, 0x08};
    std::size_t writeBuffer = 32;
    std::uint64_t restartMs = 20000;
    std::uint8_t notInModeCode = 0xD5;
    std::vector<ProtectedRange> protectedRanges;
    std::string file;
    ImageSpec image;  // the first memory, and the size and layout
    std::optional<std::uint64_t> stopAfter;
    CodedFault refuseWrite;
    FaultCount badChecksum;
    bool stuckInMode = false;
    CodedFault enterRefused;
};

// The configuration of the controller NAME at address.
FirmwareConfig FirmwareConfigFor(const Settings& settings, const std::string& name,
                                 std::uint8_t address);
// GetBufferSize's two bytes as "A:B" under key, or the fallback.
std::array<std::uint8_t, 2> BufferUnits(const Settings& settings, const std::string& key,
                                        std::uint8_t fallback);
// "1.20" -> {1, 20h}; throws std::invalid_argument naming key.
BlockVersion ParseVersion(const std::string& key, const std::string& text);

}  // namespace sim::fw

#endif
