// Checking what a controller holds against the image: by the controller's
// checksum over ranges (RangeCheckSum), by reading the range back, or by
// reading back the hex file's records.
#include <algorithm>

#include "duvane/area_records.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr std::uint64_t kSegmentSize = 0x10000;
// A Read request counts its bytes in one byte.
constexpr unsigned kLargestRead = 0xFF;

unsigned VerifyLabel(UpdateType type, bool rmm) {
    switch (type) {
        case UPDATE_OPCODE:
            return 47;
        case UPDATE_PIA:
            return 48;
        case UPDATE_BOOT:
            return 49;
        case UPDATE_EFS:
            break;
    }
    return rmm ? 51 : 50;
}

// The BMC sums its memory as little-endian words, a trailing odd byte as a
// word of its own; the other controllers sum bytes.
std::uint16_t ImageSum(std::span<const std::uint8_t> bytes, bool words) {
    std::uint32_t sum = 0;
    if (!words) {
        for (const std::uint8_t byte : bytes) sum += byte;
        return static_cast<std::uint16_t>(sum);
    }
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        sum += bytes[i];
        if (i + 1 < bytes.size()) sum += bytes[i + 1] << 8;
    }
    return static_cast<std::uint16_t>(sum);
}

}  // namespace

int CDuvane::VerifyCheckSum(UpdateType type, std::uint8_t device, std::uint32_t start,
                            std::uint32_t end) {
    const auto image = mImage->GetUpdateBuffer();
    const unsigned label = VerifyLabel(type, false);
    std::uint64_t chunk = kSegmentSize;
    for (std::uint64_t address = start; address <= end;) {
        chunk =
            std::min({std::uint64_t{end} - address + 1, chunk, kSegmentSize - (address & 0xFFFF)});
        std::uint16_t deviceSum = 0;
        int status = RangeCheckSum(device, static_cast<std::uint32_t>(address),
                                   static_cast<std::uint32_t>(address + chunk - 1), deviceSum);
        const std::uint16_t imageSum =
            ImageSum(image.subspan(address, chunk), device == DUVANE_DEVICE_BMC);
        if (status == DUVANE_SUCCESS && static_cast<std::uint16_t>(deviceSum + imageSum) != 0) {
            status = DUVANE_TRANSFER_FAILED;
        }
        if (status != DUVANE_SUCCESS) {
            cbwprintf(p_display, L"%ls", DuvaneString(55));
            LeaveTransferMode(device);
            return DUVANE_TRANSFER_FAILED;
        }
        address += chunk;
        ReportPercent(label, address - start, std::uint64_t{end} - start);
    }
    return DUVANE_SUCCESS;
}

int CDuvane::VerifyRange(UpdateType type, std::uint8_t device, std::uint32_t start,
                         std::uint32_t end) {
    const auto image = mImage->GetUpdateBuffer();
    const unsigned label = VerifyLabel(type, mUpdateSelected[BMC_FW_AREA_RMM]);
    std::vector<std::uint8_t> read;
    // Through the last byte: the range includes its end.
    for (std::uint64_t address = start; address <= end;) {
        const std::uint64_t chunk =
            std::min({std::uint64_t{end} - address + 1, std::uint64_t{mBlockSize},
                      std::uint64_t{kLargestRead}, kSegmentSize - (address & 0xFFFF)});
        const int status =
            Read(device, static_cast<std::uint32_t>(address), static_cast<unsigned>(chunk), read);
        if (status != DUVANE_SUCCESS || read.empty() ||
            !std::ranges::equal(read, image.subspan(address, read.size()))) {
            cbwprintf(p_display, L"%ls", DuvaneString(55));
            LeaveTransferMode(device);
            return DUVANE_TRANSFER_FAILED;
        }
        address += read.size();
        ReportPercent(label, address - start, std::uint64_t{end} - start);
    }
    return DUVANE_SUCCESS;
}

int CDuvane::VerifyAreaEx(UpdateType type, std::uint8_t device) {
    const FwAreaRange range = AreaRange(type);
    if (const int status = CheckRangeInImage(type, range)) {
        LeaveTransferMode(device);
        return status;
    }
    if (device == DUVANE_DEVICE_BMC || IsHsc(device) || type == UPDATE_EFS) {
        return VerifyCheckSum(type, device, range.start, range.end);
    }
    return VerifyRange(type, device, range.start, range.end);
}

int CDuvane::VerifyArea(UpdateType type, std::uint8_t device) {
    const BmcFwArea area = AreaOf(type);
    const auto records = RecordsInArea(mImage->Records(), mImage->Range(area));
    const unsigned label = VerifyLabel(type, false);
    const unsigned total = mImage->RecordCount(area);
    std::vector<std::uint8_t> read;
    for (std::size_t index = 0; index < records.size(); ++index) {
        const AreaRecord& record = records[index];
        const int status =
            Read(device, record.address, static_cast<unsigned>(record.bytes.size()), read);
        if (status != DUVANE_SUCCESS || !std::ranges::equal(read, record.bytes)) {
            cbwprintf(p_display, L"%ls", DuvaneString(55));
            LeaveTransferMode(device);
            return DUVANE_TRANSFER_FAILED;
        }
        ReportPercent(label, index + 1, total);
    }
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
