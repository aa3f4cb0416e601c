// The firmware image builder: every controller's image carries its
// information blocks with checksums that hold and the fields the update
// tools read, in both block formats and both PIA types; the broken images
// are broken in exactly the one way they name; the hex text is records of
// at most 32 bytes that rebuild the binary.
#include "sim/bmc/fw/fw_image_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bmc/fw/fw_blocks.h"

namespace {

using namespace sim::fw;
using Bytes = std::vector<std::uint8_t>;

// The low byte of the block's word sum, computed apart from the builder.
unsigned WordSumLow(std::span<const std::uint8_t> block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < block.size(); i += 2) sum += block[i] | block[i + 1] << 8;
    return sum & 0xFF;
}

struct ImageCase {
    ControllerKind kind;
    std::uint8_t address;
    bool vitesse;
    std::vector<BlockKind> blocks;
};
const ImageCase kImages[] = {
    {ControllerKind::kBmc,
     0x20,
     false,
     {BlockKind::kBoot, BlockKind::kOpCode, BlockKind::kPia, BlockKind::kEfs}},
    {ControllerKind::kFrontPanel, 0x22, false, {BlockKind::kBoot, BlockKind::kOpCode}},
    {ControllerKind::kHotSwap,
     0xC0,
     false,
     {BlockKind::kBoot, BlockKind::kOpCode, BlockKind::kPia}},
    {ControllerKind::kHotSwap, 0xC2, true, {BlockKind::kBoot, BlockKind::kOpCode, BlockKind::kPia}},
};

TEST(FwImageBuilder, EveryControllersImageCarriesItsBlocksInsideTheirAreas) {
    for (const ImageCase& c : kImages) {
        for (const std::uint8_t format : {5, 6}) {
            for (const std::uint8_t piaType : {2, 3}) {
                SCOPED_TRACE(std::to_string(c.address) + " format " + std::to_string(format) +
                             " PIA type " + std::to_string(piaType));
                ImageSpec recipe = DefaultImageSpec(c.kind, c.address, c.vitesse);
                recipe.blockFormat = format;
                recipe.piaType = piaType;
                recipe.opCode = {2, 0x31};
                const Bytes image = BuildBinary(recipe);
                ASSERT_EQ(image.size(), recipe.size);
                const std::vector<MemoryArea> areas = ImageAreas(recipe);
                ASSERT_EQ(areas.size(), c.blocks.size());
                for (const MemoryArea& area : areas) {
                    SCOPED_TRACE(AreaName(area.kind));
                    const auto found = FindBlock(image, area.kind);
                    ASSERT_TRUE(found);
                    EXPECT_TRUE(area.Contains(static_cast<std::uint32_t>(found->at)));
                    EXPECT_EQ(WordSumLow(found->bytes), 0u);
                    const auto block = found->bytes;
                    const std::uint32_t stored = format == 5 ? area.end + 1 : area.end;
                    switch (area.kind) {
                        case BlockKind::kBoot:
                            EXPECT_EQ(block.size(), 92u);
                            EXPECT_EQ(block[offset::kFormat], format);
                            EXPECT_EQ(block[offset::kDeviceAddress], c.address);
                            EXPECT_EQ(std::string(reinterpret_cast<const char*>(
                                          &block[offset::kDeviceName])),
                                      recipe.deviceName);
                            EXPECT_EQ(ReadU32(block, offset::kBootStart), area.start);
                            EXPECT_EQ(ReadU32(block, offset::kBootEnd), stored);
                            break;
                        case BlockKind::kOpCode:
                            EXPECT_EQ(block.size(), 72u);
                            EXPECT_EQ(ReadU32(block, offset::kOpCodeStart), area.start);
                            EXPECT_EQ(ReadU32(block, offset::kOpCodeEnd), stored);
                            EXPECT_EQ(ReadU16(block, offset::kOpCodeMajor), 2);
                            EXPECT_EQ(ReadU16(block, offset::kOpCodeMinor), 0x31);
                            break;
                        case BlockKind::kPia:
                            EXPECT_EQ(block.size(), piaType == 2 ? 100u : 72u);
                            EXPECT_EQ(block[offset::kPiaType], piaType);
                            EXPECT_EQ(ReadU16(block, offset::kPiaProductId), 0x0100);
                            // The PIA's range is inclusive whatever the format.
                            EXPECT_EQ(ReadU32(block, offset::kPiaEnd), area.end);
                            break;
                        case BlockKind::kEfs:
                            EXPECT_EQ(block.size(), 112u);
                            EXPECT_EQ(ReadU32(block, offset::kEfsEnd), area.end);
                            break;
                    }
                }
            }
        }
    }
}

TEST(FwImageBuilder, TheAreasCoverTheMemoryWithoutOverlapping) {
    for (const ImageCase& c : kImages) {
        SCOPED_TRACE(c.address);
        const ImageSpec recipe = DefaultImageSpec(c.kind, c.address, c.vitesse);
        std::uint32_t next = 0;
        for (const MemoryArea& area : ImageAreas(recipe)) {
            EXPECT_EQ(area.start, next);
            EXPECT_LT(area.start, area.end);
            next = area.end + 1;
        }
        EXPECT_EQ(next, recipe.size);
    }
}

TEST(FwImageBuilder, BrokenImagesAreBrokenInTheWayTheyName) {
    const ImageSpec sound = DefaultImageSpec(ControllerKind::kBmc, 0x20);
    ImageSpec recipe = sound;

    recipe.broken = Broken::kBlockChecksum;
    Bytes image = BuildBinary(recipe);
    EXPECT_FALSE(FindBlock(image, BlockKind::kBoot));
    EXPECT_TRUE(FindBlock(image, BlockKind::kOpCode));
    EXPECT_NE(std::search(image.begin(), image.end(), Signature(BlockKind::kBoot).begin(),
                          Signature(BlockKind::kBoot).end()),
              image.end());  // the signature is there, its block fails

    recipe.broken = Broken::kNoOpCodeInfo;
    image = BuildBinary(recipe);
    EXPECT_FALSE(FindBlock(image, BlockKind::kOpCode));
    EXPECT_TRUE(FindBlock(image, BlockKind::kBoot));

    recipe.broken = Broken::kDeviceAddressZero;
    image = BuildBinary(recipe);
    const auto boot = FindBlock(image, BlockKind::kBoot);
    ASSERT_TRUE(boot);  // its checksum still holds
    EXPECT_EQ(boot->bytes[offset::kDeviceAddress], 0);

    // The text faults leave the binary as it was.
    for (const Broken text : {Broken::kHexLineChecksum, Broken::kNoEndRecord}) {
        recipe.broken = text;
        EXPECT_EQ(BuildBinary(recipe), BuildBinary(sound));
    }
}

struct HexLine {
    unsigned count = 0;
    unsigned offset = 0;
    unsigned type = 0;
    Bytes data;
    bool checksumHolds = false;
};

std::vector<HexLine> ParseHex(const std::string& text) {
    std::vector<HexLine> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        EXPECT_EQ(line[0], ':');
        Bytes bytes;
        for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        }
        HexLine parsed;
        parsed.count = bytes[0];
        parsed.offset = bytes[1] << 8 | bytes[2];
        parsed.type = bytes[3];
        parsed.data.assign(bytes.begin() + 4, bytes.end() - 1);
        unsigned sum = 0;
        for (const std::uint8_t b : bytes) sum += b;
        parsed.checksumHolds = sum % 256 == 0;
        EXPECT_EQ(parsed.data.size(), parsed.count);
        lines.push_back(parsed);
    }
    return lines;
}

TEST(FwImageBuilder, HexTextRebuildsTheBinaryInRecordsOfAtMost32Bytes) {
    for (const ImageCase& c : kImages) {
        SCOPED_TRACE(c.address);
        const ImageSpec recipe = DefaultImageSpec(c.kind, c.address, c.vitesse);
        const Bytes binary = BuildBinary(recipe);
        Bytes rebuilt(binary.size(), 0xFF);
        std::uint32_t base = 0;
        const std::vector<HexLine> lines = ParseHex(BuildHex(recipe));
        ASSERT_FALSE(lines.empty());
        for (const HexLine& line : lines) {
            EXPECT_TRUE(line.checksumHolds);
            EXPECT_LE(line.count, 32u);
            if (line.type == 4) base = (line.data.at(0) << 8 | line.data.at(1)) << 16;
            if (line.type != 0) continue;
            std::copy(line.data.begin(), line.data.end(), rebuilt.begin() + base + line.offset);
        }
        EXPECT_EQ(lines.back().type, 1u);
        EXPECT_EQ(rebuilt, binary);
    }
}

TEST(FwImageBuilder, BrokenHexTextHasOneBadLineOrNoEnd) {
    ImageSpec recipe = DefaultImageSpec(ControllerKind::kFrontPanel, 0x22);
    recipe.broken = Broken::kHexLineChecksum;
    std::size_t bad = 0;
    for (const HexLine& line : ParseHex(BuildHex(recipe))) bad += line.checksumHolds ? 0 : 1;
    EXPECT_EQ(bad, 1u);

    recipe.broken = Broken::kNoEndRecord;
    const std::vector<HexLine> lines = ParseHex(BuildHex(recipe));
    for (const HexLine& line : lines) EXPECT_NE(line.type, 1u);
}

TEST(FwImageBuilder, BrokenKindsHaveNames) {
    for (const Broken broken :
         {Broken::kNone, Broken::kBlockChecksum, Broken::kNoOpCodeInfo, Broken::kDeviceAddressZero,
          Broken::kHexLineChecksum, Broken::kNoEndRecord}) {
        EXPECT_EQ(BrokenNamed(BrokenName(broken)), broken);
    }
    EXPECT_FALSE(BrokenNamed("cracked"));
}

}  // namespace
