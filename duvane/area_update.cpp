// Writing an area: the whole range in blocks (UpdateRange), or the hex
// file's records as they were read (UpdateArea).
#include <algorithm>

#include "duvane/area_records.h"
#include "duvane/duvane_engine.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_state.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

namespace {

constexpr std::uint64_t kSegmentSize = 0x10000;
// Records go to the writer at most this many bytes at a time.
constexpr std::size_t kRecordPiece = 16;

unsigned WriteLabel(UpdateType type, bool rmm) {
    switch (type) {
        case UPDATE_OPCODE:
            return 42;
        case UPDATE_PIA:
            return 43;
        case UPDATE_BOOT:
            return 44;
        case UPDATE_EFS:
            break;
    }
    return rmm ? 46 : 45;
}

}  // namespace

BmcFwArea AreaOf(UpdateType type) {
    switch (type) {
        case UPDATE_OPCODE:
            return BMC_FW_AREA_OPCODE;
        case UPDATE_PIA:
            return BMC_FW_AREA_PIA;
        case UPDATE_BOOT:
            return BMC_FW_AREA_BOOT;
        case UPDATE_EFS:
            break;
    }
    return BMC_FW_AREA_EFS;
}

const std::array<const wchar_t*, BMC_FW_AREA_COUNT> strBmcFwArea = {L"boot", L"opcode", L"pia",
                                                                    L"rmm", L"efs"};

FwAreaRange CDuvane::AreaRange(UpdateType type) const {
    return mImage->Range(AreaOf(type));
}

int CDuvane::CheckRangeInImage(UpdateType type, FwAreaRange range) const {
    const std::size_t size = mImage->GetUpdateBuffer().size();
    if (range.start <= range.end && range.end < size) return DUVANE_SUCCESS;
    SetErrorMessage(70, strBmcFwArea[AreaOf(type)], range.start, range.end,
                    static_cast<unsigned>(size));
    return DUVANE_IMAGE_FORMAT;
}

void CDuvane::ReportPercent(unsigned label, std::uint64_t done, std::uint64_t total) const {
    if (g_fw.progressCallback == nullptr) return;
    // An area of one byte is done with its first write.
    const std::uint64_t percent =
        total == 0 ? 100 : std::min<std::uint64_t>(100, done * 100 / total);
    g_fw.progressCallback(PROGRESS_PERCENT, DuvaneString(label), static_cast<unsigned>(percent), 0);
}

void CDuvane::ShowProgressMessage(const wchar_t* text) const {
    if (g_fw.progressCallback != nullptr) g_fw.progressCallback(PROGRESS_MESSAGE, text, 0, 0);
}

int CDuvane::UpdateRange(UpdateType type, std::uint8_t device, std::uint32_t start,
                         std::uint32_t end) {
    const auto image = mImage->GetUpdateBuffer();
    const unsigned label = WriteLabel(type, mUpdateSelected[BMC_FW_AREA_RMM]);
    for (std::uint64_t address = start; address <= end;) {
        // A request addresses one segment: a block never runs into the next.
        const std::uint64_t chunk =
            std::min({std::uint64_t{end} - address + 1, std::uint64_t{mBlockSize},
                      kSegmentSize - (address & 0xFFFF)});
        const int status = WriteLowlvl(device, static_cast<std::uint16_t>(address >> 16),
                                       static_cast<std::uint16_t>(address & 0xFFFF),
                                       image.subspan(address, chunk));
        if (status != DUVANE_SUCCESS) {
            LeaveTransferMode(device);
            return status;
        }
        address += chunk;
        ReportPercent(label, address - start, std::uint64_t{end} - start);
    }
    return DUVANE_SUCCESS;
}

int CDuvane::UpdateAreaEx(UpdateType type, std::uint8_t device) {
    const FwAreaRange range = AreaRange(type);
    if (const int status = CheckRangeInImage(type, range)) {
        LeaveTransferMode(device);
        return status;
    }
    return UpdateRange(type, device, range.start, range.end);
}

int CDuvane::UpdateArea(UpdateType type, std::uint8_t device) {
    const BmcFwArea area = AreaOf(type);
    const auto records = RecordsInArea(mImage->Records(), mImage->Range(area));
    const unsigned label = WriteLabel(type, false);
    const unsigned total = mImage->RecordCount(area);
    int status = DUVANE_SUCCESS;
    for (std::size_t index = 0; index < records.size() && status == DUVANE_SUCCESS; ++index) {
        const AreaRecord& record = records[index];
        for (std::size_t done = 0; done < record.bytes.size() && status == DUVANE_SUCCESS;
             done += kRecordPiece) {
            const std::uint32_t address = record.address + static_cast<std::uint32_t>(done);
            status = Write(
                device, static_cast<std::uint16_t>(address >> 16),
                static_cast<std::uint16_t>(address & 0xFFFF),
                record.bytes.subspan(done, std::min(kRecordPiece, record.bytes.size() - done)));
        }
        if (status == DUVANE_SUCCESS) ReportPercent(label, index + 1, total);
    }
    if (status == DUVANE_SUCCESS) status = Write(device, kNoSegment, 0, {});
    if (status != DUVANE_SUCCESS) {
        mWriterBuffer.clear();
        cbwprintf(p_display, L"%ls", DuvaneString(56));
        LeaveTransferMode(device);
    }
    return status;
}

}  // namespace DirectFwUpdate_Private
