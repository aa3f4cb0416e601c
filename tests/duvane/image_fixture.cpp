#include "image_fixture.h"

#include <algorithm>
#include <cstdio>

#include "bmc/debug_log.h"
#include "duvane/duvane_messages.h"

namespace duvane_test {

using namespace DirectFwUpdate_Private;

namespace {

void PutU16(Bytes& block, std::size_t offset, std::uint16_t value) {
    block[offset] = static_cast<std::uint8_t>(value);
    block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(Bytes& block, std::size_t offset, std::uint32_t value) {
    PutU16(block, offset, static_cast<std::uint16_t>(value));
    PutU16(block, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutText(Bytes& block, std::size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), block.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes BlockWithSignature(std::size_t size, const std::string& signature) {
    Bytes block(size, 0);
    PutText(block, 0, signature);
    return block;
}

std::string HexByte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

}  // namespace

void FixChecksum(Bytes& block, std::size_t checked, std::size_t spare) {
    block[spare] = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < checked; i += 2) sum += block[i] | block[i + 1] << 8;
    block[spare] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

// The byte FixChecksum set: the last word of the checked part, which no
// field uses.
void BreakChecksum(Bytes& block) {
    const bool shortPia = block.size() == 100 && block[16] == 3;
    block[shortPia ? 70 : block.size() - 2] ^= 0x01;
}

Bytes BootInfoBlock(const BootInfoFields& fields) {
    Bytes block = BlockWithSignature(92, "*BootInfo*");
    block[16] = fields.format;
    PutText(block, 18, "BOOT-ID");
    PutText(block, 34, fields.deviceName.substr(0, 5));
    block[39] = fields.address;
    PutU32(block, 44, fields.start);
    PutU32(block, 48, fields.end);
    PutU16(block, 60, fields.major);
    PutU16(block, 62, fields.minor);
    FixChecksum(block, 92, 90);
    return block;
}

Bytes OpCodeInfoBlock(const OpCodeInfoFields& fields) {
    Bytes block = BlockWithSignature(72, "*OpCodeInfo*");
    block[16] = fields.format;
    PutU32(block, 20, fields.start);
    PutU32(block, 24, fields.end);
    PutU16(block, 40, fields.major);
    PutU16(block, 42, fields.minor);
    FixChecksum(block, 72, 70);
    return block;
}

Bytes PiaBlock(const PiaFields& fields) {
    Bytes block = BlockWithSignature(100, "*PltfrmInfArea*");
    block[16] = fields.type;
    block[18] = fields.major;
    block[19] = fields.minor;
    PutU16(block, 36, fields.productId);
    PutText(block, 40, fields.platformId.substr(0, 16));
    PutU32(block, 56, fields.start);
    PutU32(block, 60, fields.end);
    // Type 3 is checked over its first 72 bytes only.
    if (fields.type == 3) {
        FixChecksum(block, 72, 70);
    } else {
        FixChecksum(block, 100, 98);
    }
    return block;
}

Bytes EfsBlock(const EfsFields& fields) {
    Bytes block = BlockWithSignature(112, "*EFS_Image*");
    PutText(block, 24, fields.platformName.substr(0, 16));
    PutU32(block, 72, fields.start);
    PutU32(block, 76, fields.end);
    PutU16(block, 80, fields.major);
    PutU16(block, 82, fields.minor);
    FixChecksum(block, 112, 110);
    return block;
}

Bytes ErasedImage(std::size_t size) {
    return Bytes(size, 0xFF);
}

void Place(Bytes& image, std::size_t offset, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string HexRecord(std::uint8_t type, std::uint16_t offset, const Bytes& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFF) + type;
    std::string line = ":" + HexByte(static_cast<unsigned>(data.size())) + HexByte(offset >> 8) +
                       HexByte(offset) + HexByte(type);
    for (const std::uint8_t byte : data) {
        line += HexByte(byte);
        sum += byte;
    }
    return line + HexByte(0x100 - (sum & 0xFF));
}

std::string HexEndOfFile() {
    return HexRecord(1, 0, {});
}

std::string HexLinearAddress(std::uint16_t upper) {
    return HexRecord(4, 0,
                     {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

std::string HexSegmentAddress(std::uint16_t segment) {
    return HexRecord(2, 0,
                     {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)});
}

std::string HexLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string HexImage(const Bytes& image) {
    std::vector<std::string> lines;
    for (std::size_t address = 0; address < image.size(); address += 32) {
        const std::size_t length = std::min<std::size_t>(32, image.size() - address);
        const Bytes chunk(image.begin() + static_cast<std::ptrdiff_t>(address),
                          image.begin() + static_cast<std::ptrdiff_t>(address + length));
        if (address % 0x10000 == 0) {
            lines.push_back(HexLinearAddress(static_cast<std::uint16_t>(address >> 16)));
        }
        if (std::all_of(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b == 0xFF; })) {
            continue;
        }
        lines.push_back(HexRecord(0, static_cast<std::uint16_t>(address), chunk));
    }
    lines.push_back(HexEndOfFile());
    return HexLines(lines);
}

void ImageTest::SetUp() {
    ScratchDirTest::SetUp();
    SetLibDebugLevel(0);
    gp_StringResource = std::make_unique<CStringResource>();
    ASSERT_EQ(gp_StringResource->Initialize(L"" DUVANE_STRING_FILE, 0), STR_SUCCESS);
    g_pszErrorMessage.fill(L'\0');
}

void ImageTest::TearDown() {
    gp_StringResource.reset();
    ScratchDirTest::TearDown();
}

std::wstring ImageTest::WriteImage(const std::string& name, const std::string& bytes) {
    WriteFile(mDir / name, bytes);
    return (mDir / name).wstring();
}

std::wstring ImageTest::WriteImage(const std::string& name, const Bytes& bytes) {
    return WriteImage(name, std::string(bytes.begin(), bytes.end()));
}

std::wstring ImageTest::LastError() {
    return g_pszErrorMessage.data();
}

void ImageTest::MarkLastError() {
    std::copy(kMarkedError.begin(), kMarkedError.end(), g_pszErrorMessage.begin());
    g_pszErrorMessage[kMarkedError.size()] = L'\0';
}

}  // namespace duvane_test
