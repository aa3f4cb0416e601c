// Writing a FRU back to its device: the areas that need it, each at the
// offset its header gives, then the common header. Written last, the header
// never points at an area that is not on the device yet; each area goes out
// whole, its checksum computed before its first byte is sent.
//
// The header is never rewritten by an edit, so the header offsets are where
// the areas are and where every other reader of the device looks for them.
// Writing each area there (rather than back to back after the header) is
// the same for a FRU laid out back to back and the only way not to
// overwrite one area with another for any other layout.
//
// An area's modified flag is cleared once the area has been written. An
// area whose write failed keeps its flag, so that writing the FRU again
// writes it again rather than leaving it half written on the device.
#include <array>
#include <string>

#include "bmc/message.h"
#include "bmc/trace.h"
#include "orvel/fru.h"
#include "orvel/fru_no_answer.h"
#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CFru";
constexpr std::size_t kIdentifierLength = 128;

std::uint16_t AreaOffset(std::uint8_t units) {
    return static_cast<std::uint16_t>(units * kFruAreaUnit);
}

// Writes an area the header announces (a non-zero offset) when it is
// modified, or whenever `evenUnmodified`. False when the write failed.
template <typename Area>
bool WriteArea(CFru& fru, const FruAccess& with, std::uint8_t units, Area& area,
               bool evenUnmodified) {
    if (units == 0 || !(evenUnmodified || area.IsModified())) return true;
    if (fru.WriteOrvel(with, AreaOffset(units), area.GetData()) != ORVEL_SUCCESS) return false;
    area.ResetIsModified();
    return true;
}

// Each record's five header bytes one request each, then its data in one
// call. An area that would run past the last offset the device can address
// is refused before any of it is written.
bool WriteMultiRecords(CFru& fru, const FruAccess& with, std::uint8_t units) {
    std::size_t offset = AreaOffset(units);
    std::size_t length = 0;
    for (const FRUMultiRecord& record : fru.MultiRecords()) length += record.GetLength();
    if (offset + length > kFruAddressSpace) return false;

    for (const FRUMultiRecord& record : fru.MultiRecords()) {
        const auto header = record.GetHeader();
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (fru.WriteOrvel(with, static_cast<std::uint16_t>(offset++),
                               std::span(header).subspan(i, 1)) != ORVEL_SUCCESS) {
                return false;
            }
        }
        const std::span<const std::uint8_t> data = record.GetRecordData();
        if (fru.WriteOrvel(with, static_cast<std::uint16_t>(offset), data) != ORVEL_SUCCESS) {
            return false;
        }
        offset += data.size();
    }
    return true;
}

}  // namespace

std::uint32_t CFru::WriteToSystem(const FruAccess& with, PROGRESS_CALLBACK progress,
                                  Extent extent) {
    CTrace trace(kClass, L"WriteToSystem");
    // The BMC's type chooses the write routine (WriteOrvel). A BMC that does
    // not answer counts as type 0, as GetBmcType reports it.
    GetBmcType(&with.bmcType);

    std::array<wchar_t, kIdentifierLength> identifier;
    GetFriendlyFruIdentifier(mLocator, identifier);
    const auto report = [progress](const std::wstring& text) {
        if (progress != nullptr) progress(PROGRESS_MESSAGE, text.c_str(), 0, 0);
    };
    const auto failed = [&] {
        trace.Failure(L"Error Writing System");
        if (LastTransferGotNoAnswer()) {
            ReportNoAnswer(ORVEL_ERROR_WRITING_SYSTEM);
        } else {
            SetLastErrorString(IDS_WRITE_SYSTEM_FAILED, identifier.data());
        }
        return ORVEL_ERROR_WRITING_SYSTEM;
    };

    const bool whole = extent == Extent::kWhole;
    report(FormatOrvelString(IDS_WRITING_FRU, identifier.data()));
    report(FormatOrvelString(IDS_WRITING_INTERNAL_AREA));
    if (!WriteArea(*this, with, mHeader.GetInternalUseOffset(), mInternalUseArea, whole)) {
        return failed();
    }
    report(FormatOrvelString(IDS_WRITING_CHASSIS_AREA));
    if (!WriteArea(*this, with, mHeader.GetChassisOffset(), mChassisArea, whole)) return failed();
    // The board area is written whether or not it was edited.
    report(FormatOrvelString(IDS_WRITING_BOARD_AREA));
    if (!WriteArea(*this, with, mHeader.GetBoardOffset(), mBoardArea, true)) return failed();
    report(FormatOrvelString(IDS_WRITING_PRODUCT_AREA));
    if (!WriteArea(*this, with, mHeader.GetProductOffset(), mProductArea, whole)) return failed();

    if (HasMultiRecArea() && (mMultiRecModified || whole)) {
        report(FormatOrvelString(IDS_WRITING_MULTIREC_AREA));
        if (!WriteMultiRecords(*this, with, mHeader.GetMultiRecordOffset())) return failed();
        mMultiRecModified = false;
    }
    if (WriteOrvel(with, 0, mHeader.GetData()) != ORVEL_SUCCESS) return failed();
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Private
