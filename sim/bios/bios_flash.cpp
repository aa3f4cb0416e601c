#include "sim/bios/bios_flash.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "sim/bios/bios_flash_functions.h"
#include "sim/bios/rom_image_builder.h"
#include "sim/bios/software_smi.h"

namespace sim {

namespace bios {

const char* FunctionName(std::uint8_t code) {
    switch (code) {
        case kFlashOpen:
            return "FLASH_OPEN";
        case kFlashRead:
            return "FLASH_READ";
        case kFlashErase:
            return "FLASH_ERASE";
        case kFlashWrite:
            return "FLASH_WRITE";
        case kFlashClose:
            return "FLASH_CLOSE";
        default:
            return nullptr;
    }
}

std::optional<std::uint8_t> LoggedStatus(const LogEntry& entry) {
    unsigned status = 0;
    if (entry.component != "bios" ||
        std::sscanf(entry.detail.c_str(), "status=%2x", &status) != 1) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(status);
}

}  // namespace bios

namespace {

constexpr const char* kStateFile = "bios-flash.state";
// The factory contents differ from every image a builder makes by default.
constexpr std::uint32_t kFactorySeed = 0;

}  // namespace

BiosFlashService::BiosFlashService(Machine& machine, BiosFlashConfig config, FlashPart& part)
    : mMachine(machine), mConfig(std::move(config)), mPart(part) {
    if (Flash().Size() != mConfig.layout.romBytes) {
        throw std::invalid_argument("the BIOS flash part is not of the ROM's size");
    }
    Flash().Fill(RomImageBuilder(mConfig.layout).RomId(mConfig.romId).Seed(kFactorySeed).Build());
    for (const FlashFault& fault : mConfig.faults.stuckBits) {
        if (const auto cell = mConfig.layout.ImageRangeOf(fault.address, 1)) {
            Flash().StickBits(cell->offset, static_cast<std::uint8_t>(fault.value));
        }
    }
    WriteAnchor();
    WriteInformationSegment();
    SoftwareSmiPort& smi = SoftwareSmiPort::At(machine, mConfig.smiPort);
    for (const std::uint8_t code : {bios::kFlashOpen, bios::kFlashRead, bios::kFlashErase,
                                    bios::kFlashWrite, bios::kFlashClose}) {
        smi.Serve(code, [this](std::uint8_t served) { Handle(served); });
    }
}

void BiosFlashService::Handle(std::uint8_t code) {
    MemoryMap& memory = mMachine.Memory();
    const std::uint64_t at = mConfig.RequestAddress();
    bios::Request request{
        memory.Read(at + bios::kRequestBuffer, 4), memory.Read(at + bios::kRequestAddress, 4),
        memory.Read(at + bios::kRequestLength, 4), memory.Read(at + bios::kRequestChecksum, 4)};
    const std::uint32_t checksumBefore = request.checksum;
    const bios::Outcome outcome =
        bios::FlashFunctions(mMachine, mConfig, Flash(), mOpen).Run(code, request);
    if (request.checksum != checksumBefore) {
        memory.Write(at + bios::kRequestChecksum, 4, request.checksum);
    }
    memory.Write(at + bios::kRequestStatus, 1, outcome.status);

    char detail[16];
    std::snprintf(detail, sizeof detail, "status=%02X", outcome.status);
    mMachine.Log().Add({"bios", bios::FunctionName(code), request.address, request.length, 0,
                        outcome.reason.empty() ? detail : detail + (": " + outcome.reason)});

    // The signal of a fault arrives once the write it waits for is done, as
    // a key pressed during the SMI would reach the program after it.
    if (code != bios::kFlashWrite || outcome.status != bios::kOk) return;
    const std::vector<FlashFault>& signals = mConfig.faults.signal;
    mSignalRaised.resize(signals.size());
    for (std::size_t i = 0; i < signals.size(); ++i) {
        if (mSignalRaised[i] || signals[i].address < request.address ||
            signals[i].address - request.address >= request.length) {
            continue;
        }
        mSignalRaised[i] = true;
        mMachine.Log().Add({"bios", "raise-signal", signals[i].address, signals[i].value, 0, ""});
        std::raise(static_cast<int>(signals[i].value));
    }
}

// ------------------------------------------------------------ state and description

void BiosFlashService::LoadState(const std::filesystem::path& dir) {
    std::ifstream in(dir / kStateFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("open=", 0) == 0) mOpen = line == "open=1";
    }
}

void BiosFlashService::SaveState(const std::filesystem::path& dir) const {
    std::ofstream(dir / kStateFile, std::ios::trunc) << "open=" << (mOpen ? 1 : 0) << "\n";
}

std::string BiosFlashService::InstalledRomId() const {
    const FlashArray& flash = Flash();
    if (flash.Size() < RomImageBuilder::kRomIdFromEnd) return "";
    const auto id = flash.Bytes(flash.Size() - RomImageBuilder::kRomIdFromEnd, 8);
    return std::string(id.begin(), id.end());
}

void BiosFlashService::Describe(std::ostream& out) const {
    const BiosFlashLayout& layout = mConfig.layout;
    char line[160];
    std::snprintf(line, sizeof line,
                  "    ROM %u KB, base offset %05Xh, ROM ID \"%s\", flash interface %s\n",
                  layout.romBytes / 1024, layout.BaseOffset(), InstalledRomId().c_str(),
                  mOpen ? "open" : "closed");
    out << line;
    if (mConfig.anchor) {
        std::snprintf(line, sizeof line,
                      "    anchor \"$ASF\" at %05llXh, request block at %05llXh, SMI port %Xh\n",
                      static_cast<unsigned long long>(mConfig.AnchorAddress()),
                      static_cast<unsigned long long>(mConfig.RequestAddress()), mConfig.smiPort);
    } else {
        std::snprintf(line, sizeof line, "    no \"$ASF\" anchor, SMI port %Xh\n", mConfig.smiPort);
    }
    out << line;
    std::snprintf(line, sizeof line,
                  "    information segment %04Xh: FlashInfo at +%04Xh, BlockTable at +%04Xh, "
                  "NvramTable at +%04Xh\n",
                  mConfig.infoSegment, mConfig.flashInfo, mConfig.BlockTableOffset(),
                  mConfig.NvramTableOffset());
    out << line;
    out << "    blocks (" << layout.blocks.size() << ", the last " << layout.bootBlocks
        << " the boot block):\n";
    for (std::size_t i = 0; i < layout.blocks.size(); ++i) {
        const FlashBlock& block = layout.blocks[i];
        bool nvram = false;
        for (const std::uint32_t address : layout.nvram) nvram = nvram || address == block.address;
        std::snprintf(line, sizeof line, "      %08Xh %6X%s%s\n", block.address, block.size,
                      i + layout.bootBlocks >= layout.blocks.size() ? " boot" : "",
                      nvram ? " nvram" : "");
        out << line;
    }
    const std::pair<const char*, const std::vector<FlashFault>*> faults[] = {
        {"read", &mConfig.faults.read},
        {"read checksum", &mConfig.faults.readChecksum},
        {"erase", &mConfig.faults.erase},
        {"write", &mConfig.faults.write},
        {"stuck bits", &mConfig.faults.stuckBits},
        {"signal", &mConfig.faults.signal},
    };
    for (const auto& [name, list] : faults) {
        for (const FlashFault& fault : *list) {
            std::snprintf(line, sizeof line, "    fault: %s at %08Xh (%Xh)\n", name, fault.address,
                          fault.value);
            out << line;
        }
    }
    if (mConfig.openStatus != 0)
        out << "    fault: FLASH_OPEN answers " << +mConfig.openStatus << "\n";
    if (mConfig.closeStatus != 0) {
        out << "    fault: FLASH_CLOSE answers " << +mConfig.closeStatus << "\n";
    }
}

}  // namespace sim
