// Images for the image reader's tests, made here from the block layout as
// the firmware writes it, so that a misreading in the reader does not hide
// behind the same misreading in a shared builder: information blocks with
// their checksums, hex records with theirs, and a scratch folder for the
// files, with the library's compiled texts loaded for the messages.
#ifndef SRVFW_TESTS_DUVANE_IMAGE_FIXTURE_H
#define SRVFW_TESTS_DUVANE_IMAGE_FIXTURE_H

#include <cstdint>
#include <string>
#include <vector>

#include "duvane/fw_file.h"
#include "tests/bmc/scratch_dir.h"

namespace duvane_test {

using Bytes = std::vector<std::uint8_t>;

struct BootInfoFields {
    std::uint8_t format = 6;
    std::string deviceName = "BMC";
    std::uint8_t address = 0x20;
    std::uint32_t start = 0x0000;
    std::uint32_t end = 0x0FFF;
    std::uint16_t major = 1;
    std::uint16_t minor = 5;
};

struct OpCodeInfoFields {
    std::uint8_t format = 6;
    std::uint32_t start = 0x2000;
    std::uint32_t end = 0x7FFF;
    std::uint16_t major = 0x12;
    std::uint16_t minor = 0xAB;
};

struct PiaFields {
    std::uint8_t type = 2;
    std::uint8_t major = 2;
    std::uint8_t minor = 0x10;
    std::uint16_t productId = 0x1234;
    std::string platformId = "S2600WF";
    std::uint32_t start = 0x1000;
    std::uint32_t end = 0x17FF;
};

struct EfsFields {
    std::string platformName = "WOLFPASS";
    std::uint32_t start = 0x8000;
    std::uint32_t end = 0xBFFF;
    std::uint16_t major = 0x0A;
    std::uint16_t minor = 3;
};

// Each block with a checksum that holds over the bytes its type checks.
Bytes BootInfoBlock(const BootInfoFields& fields = {});
Bytes OpCodeInfoBlock(const OpCodeInfoFields& fields = {});
Bytes PiaBlock(const PiaFields& fields = {});
Bytes EfsBlock(const EfsFields& fields = {});

// Makes the 16-bit word sum of block[0, checked) end in a 0 byte by setting
// the byte at `spare` (even, inside the checked part, holding no field).
void FixChecksum(Bytes& block, std::size_t checked, std::size_t spare);
// Spoils a block's checksum without touching a field.
void BreakChecksum(Bytes& block);

// An image of `size` erased bytes (FFh) with the blocks at their offsets.
Bytes ErasedImage(std::size_t size);
void Place(Bytes& image, std::size_t offset, const Bytes& bytes);

// One hex record line (without its line end), its checksum computed.
std::string HexRecord(std::uint8_t type, std::uint16_t offset, const Bytes& data);
std::string HexEndOfFile();
std::string HexLinearAddress(std::uint16_t upper);
std::string HexSegmentAddress(std::uint16_t segment);
// The lines joined, each ended by "\n".
std::string HexLines(const std::vector<std::string>& lines);
// The image as data records of 32 bytes at its own addresses, leaving out
// the runs that are all erased, with an extended linear address record at
// every 64 KiB, and the end-of-file record.
std::string HexImage(const Bytes& image);

// A scratch folder for image files, the compiled texts in the library's
// string table and the debug log silenced.
class ImageTest : public ScratchDirTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::wstring WriteImage(const std::string& name, const std::string& bytes);
    std::wstring WriteImage(const std::string& name, const Bytes& bytes);
    // The library's last-error message as it stands.
    static std::wstring LastError();
    // Puts a text into the last-error message, to see whether a call left it.
    static void MarkLastError();
};

inline const std::wstring kMarkedError = L"(untouched)";

}  // namespace duvane_test

#endif
