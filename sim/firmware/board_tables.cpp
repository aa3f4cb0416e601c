#include "sim/firmware/board_tables.h"

#include <stdexcept>

namespace sim {

namespace {

constexpr std::uint32_t kMinimumMainBlocks = 3;  // Main BIOS, Microcode, Setup Defaults

enum AreaNumber : std::uint32_t {
    kMainBiosArea = 1,
    kMicrocodeArea = 2,
    kSetupDefaultsArea = 3,
    kBootBlockArea = 4,
};

std::uint32_t Physical(std::uint64_t address) {
    return static_cast<std::uint32_t>(address);
}

}  // namespace

FlashTables BoardFlashTables(const BoardTablesPlan& plan) {
    const std::uint64_t top = plan.partBase + plan.partBytes;
    const std::uint64_t boot = top - kBootRegionBytes;
    if (plan.flagsBlock < plan.partBase ||
        plan.flagsBlock - plan.partBase < std::uint64_t{kMinimumMainBlocks} * kRangeBlockBytes ||
        plan.flagsBlock >= boot || top > 0x100000000) {
        throw std::invalid_argument("a part of " + std::to_string(plan.partBytes) +
                                    " bytes leaves no room for the main BIOS's areas");
    }
    const std::uint64_t main = plan.flagsBlock - plan.partBase;
    FlashTables tables;
    tables.segments = {
        {kMainSegmentTag, 2, plan.partBase, plan.flagsBlock - 1},
        {kFirmwareSegmentTag, 2, plan.flagsBlock, boot - 1},
        {kBootSegmentTag, 1, boot, top - 1},
    };
    const std::uint64_t microcode = plan.partBase + main - 2 * kRangeBlockBytes;
    tables.areas = {
        FlashArea::Blocks(kMainBiosArea, "Main BIOS", plan.romId, kMainSegmentTag,
                          Physical(plan.partBase), main - 2 * kRangeBlockBytes),
        FlashArea::Blocks(kMicrocodeArea, "Microcode", plan.romId, kMainSegmentTag,
                          Physical(microcode), kRangeBlockBytes),
        FlashArea::Blocks(kSetupDefaultsArea, "Setup Defaults", plan.romId, kMainSegmentTag,
                          Physical(microcode + kRangeBlockBytes), kRangeBlockBytes),
        FlashArea::Blocks(kBootBlockArea, "Boot Block", plan.romId, kBootSegmentTag, Physical(boot),
                          kBootRegionBytes),
    };
    tables.notify = plan.notify;
    return tables;
}

}  // namespace sim
