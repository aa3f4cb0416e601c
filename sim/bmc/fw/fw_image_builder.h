// Firmware images for the simulated controllers, as their vendor's build
// would make them: the byte image of the whole memory with the information
// blocks of each area (sim/bmc/fw/fw_blocks.h), as a binary or as hex
// record text, sound or broken on purpose. The default memory of every
// simulated controller is the sound image of its default layout.
//
// Layouts (areas inclusive; the information block 40h bytes into its area):
//   BMC (20h)          2 MiB: boot 0-FFFFh, operational code
//                      10000h-1DFFFFh, PIA 1E0000h-1EFFFFh, EFS
//                      1F0000h-1FFFFFh
//   front panel (22h)  64 KiB: boot 0-FFFh, operational code 1000h-FFFFh
//   hot-swap (C0h/C2h) 128 KiB: boot 0-3FFFh, operational code
//                      4000h-1BFFFh, PIA 1C000h-1FFFFh
// A memory size other than the default keeps the boot area and the PIA
// and EFS sizes and gives the operational code what is left.
//
// Hex record text: a type 4 (extended linear address) record before each
// 64 KiB the data reach into, type 0 records of at most 32 data bytes for
// every 32-byte piece that is not all FFh (the memory reads FFh where a
// file leaves a gap), and a type 1 record at the end.
#ifndef SRVFW_SIM_BMC_FW_FW_IMAGE_BUILDER_H
#define SRVFW_SIM_BMC_FW_FW_IMAGE_BUILDER_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/bmc/fw/fw_blocks.h"
#include "sim/bmc/fw/fw_memory.h"

namespace sim::fw {

enum class ControllerKind { kBmc, kFrontPanel, kHotSwap };

// What can be wrong with an image on purpose.
enum class Broken {
    kNone,
    kBlockChecksum,      // the BootInfo block's checksum fails
    kNoOpCodeInfo,       // no OpCodeInfo block at all
    kDeviceAddressZero,  // BootInfo names device address 0
    kHexLineChecksum,    // hex text: one data record's checksum is off
    kNoEndRecord,        // hex text: no type 1 record
};
// "block-checksum", "no-opcode-info", "address-zero", "line-checksum",
// "no-end-record"; nullopt for another name.
std::optional<Broken> BrokenNamed(const std::string& name);
std::string BrokenName(Broken broken);

struct ImageSpec {
    ControllerKind kind = ControllerKind::kBmc;
    std::uint8_t address = 0x20;
    std::uint32_t size = 0x200000;
    std::string deviceName = "BMC";         // at most 5 characters; "VSC" a Vitesse part
    std::string identification = "SIMBMC";  // at most 15 characters
    std::uint8_t blockFormat = 6;           // 5 or 6
    std::uint8_t piaType = 2;               // 2 or 3
    BlockVersion boot{1, 0x00};
    BlockVersion opCode{1, 0x20};
    BlockVersion pia{1, 0x00};
    BlockVersion efs{1, 0x00};
    std::uint16_t productId = 0x0100;
    std::string platformId = "SIMPLATFORM";  // at most 16 characters
    std::string platformName = "SIMPLATFORM";
    Broken broken = Broken::kNone;
};

// The sound image of a controller's default layout: BMC, front panel ("FP",
// identification "SIMFP"), hot-swap controller ("HSC" or, for a Vitesse
// part, "VSC"; identification "SIMHSC").
ImageSpec DefaultImageSpec(ControllerKind kind, std::uint8_t address, bool vitesse = false);
// The controller kind of a slave address (20h, 22h, C0h, C2h).
std::optional<ControllerKind> KindOfAddress(std::uint8_t address);

// The areas of the recipe's kind and size.
std::vector<MemoryArea> ImageAreas(const ImageSpec& recipe);
// The whole memory image (Broken::kHexLineChecksum and kNoEndRecord leave
// the binary sound: they are faults of the text).
std::vector<std::uint8_t> BuildBinary(const ImageSpec& recipe);
std::string BuildHex(const ImageSpec& recipe);
// Hex record text of bytes placed at address 0, as BuildHex writes it.
std::string HexRecords(std::span<const std::uint8_t> bytes);

}  // namespace sim::fw

#endif
