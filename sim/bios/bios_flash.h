// The BIOS's flash service, as its SMI handler provides it. At start the
// BIOS leaves in the F0000h segment a "$ASF" anchor that tells a program
// where the request block is, where its information segment is and which
// port raises the SMI; the information segment holds FlashInfo with the ROM
// size, the BlockTable and the NvramTable. A program fills the request block
// and writes a function code to the SMI port; the service carries the
// operation out on the flash part before the port write returns and leaves
// a status byte in the request block.
//
// Anchor (F0000h + anchor offset): "$ASF"; +4 byte: distance to the request
// block; +8 word: offset in the information segment of a 32-bit FlashInfo
// offset; +10 word: information segment (paragraphs); +12 word: SMI port.
// Request block: +0 transfer buffer physical address; +4 flash address;
// +8 length; +12 checksum of the buffer (NOT of its 32-bit word sum);
// +16 status byte.
// FlashInfo (16 bytes): +0 revision 0100h; +2 its length; +6 ROM size in KB;
// +10 BlockTable offset; +12 NvramTable offset (offsets in the segment).
// BlockTable: count, boot-block count, then (address, size) entries.
// NvramTable: count, then (address, size) entries.
//
// How the service answers each function (status byte; 0 is success):
//   FLASH_OPEN   0 (or 02h when it was already open: it stays open); the
//                configured refusal otherwise (bios.open_status)
//   FLASH_READ   copies 1 KB of flash at the address into the buffer and
//                sets the checksum field
//   FLASH_ERASE  erases the block that starts at the address (length = its
//                size) to FFh
//   FLASH_WRITE  checks the buffer against the checksum field, then
//                programs 1 KB (NOR: bits only clear; it does not verify)
//   FLASH_CLOSE  closes (bios.close_status: answers that and stays open)
// Bad requests are refused before anything is touched, checked in this
// order: not open (03h); for reads and writes the length (04h: not 1024),
// the address (05h: the 1 KB is not inside the ROM), the buffer (07h: the
// 1 KB at the buffer address is not RAM) and, for writes, the checksum
// (06h); for erases the address (05h: no block of the table starts there,
// or the block is not inside the ROM) and the length (04h: not that block's
// size). Then the injected faults (08h or their configured status).
//
// Request log: component "bios", operation the function's name, address and
// value the request's flash address and length as the request held them,
// detail "status=NN" (two hex digits), followed by ": reason" when the
// request was refused or failed. Codes the service does not own are not
// logged here (see SoftwareSmiPort). A signal fault that strikes adds
// "raise-signal" (address = the fault's address, value = the signal).
#ifndef SRVFW_SIM_BIOS_BIOS_FLASH_H
#define SRVFW_SIM_BIOS_BIOS_FLASH_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/bios/bios_flash_config.h"
#include "sim/core/machine.h"
#include "sim/flash/flash_part.h"

namespace sim {

namespace bios {

inline constexpr char kAnchorSignature[] = "$ASF";
inline constexpr std::uint32_t kTransferBytes = 1024;

enum FunctionCode : std::uint8_t {
    kFlashOpen = 0x20,
    kFlashRead = 0x21,
    kFlashErase = 0x22,
    kFlashWrite = 0x23,
    kFlashClose = 0x24,
};

// Offsets in the anchor and the request block.
enum AnchorField : unsigned {
    kAnchorRequestDistance = 4,
    kAnchorInfoPointer = 8,
    kAnchorInfoSegment = 10,
    kAnchorSmiPort = 12,
};
enum RequestField : unsigned {
    kRequestBuffer = 0,
    kRequestAddress = 4,
    kRequestLength = 8,
    kRequestChecksum = 12,
    kRequestStatus = 16,
};
inline constexpr unsigned kRequestBytes = 17;

enum Status : std::uint8_t {
    kOk = 0x00,
    kRefused = 0x01,
    kAlreadyOpen = 0x02,
    kNotOpen = 0x03,
    kBadLength = 0x04,
    kBadAddress = 0x05,
    kChecksumMismatch = 0x06,
    kBadBuffer = 0x07,
    kDeviceError = 0x08,
};

const char* FunctionName(std::uint8_t code);  // "FLASH_READ"..., or nullptr

// The status a request-log entry of the service records.
std::optional<std::uint8_t> LoggedStatus(const LogEntry& entry);

}  // namespace bios

// The name the BIOS flash part's contents are kept under ("bios-flash.bin").
inline constexpr char kBiosFlashPart[] = "bios-flash";

// An access path to the BIOS flash part: the part is the machine's, and the
// service serves the BIOS's functions on it.
class BiosFlashService : public Device {
  public:
    // The part must be of the layout's ROM size (std::invalid_argument).
    BiosFlashService(Machine& machine, BiosFlashConfig config, FlashPart& part);

    std::string Name() const override { return "bios"; }
    // Whether the service is open ("bios-flash.state") survives the
    // process, as it survives in a running machine; the part keeps its
    // contents itself.
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    const BiosFlashConfig& Config() const { return mConfig; }
    const BiosFlashLayout& Layout() const { return mConfig.layout; }
    FlashPart& Part() { return mPart; }
    FlashArray& Flash() { return mPart.Cells(); }
    const FlashArray& Flash() const { return mPart.Cells(); }
    bool IsOpen() const { return mOpen; }
    // The ROM ID in the flash now (ROM offset size - 32), empty for a ROM
    // smaller than that.
    std::string InstalledRomId() const;

  private:
    void WriteAnchor();
    void WriteInformationSegment();
    void Handle(std::uint8_t code);

    Machine& mMachine;
    BiosFlashConfig mConfig;
    FlashPart& mPart;
    bool mOpen = false;
    std::vector<bool> mSignalRaised;  // per signal fault
};

}  // namespace sim

#endif
