#include "orvel/fru.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <optional>
#include <string_view>

#include "bmc/trace.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CFru";

void CopyCut(std::wstring_view text, std::span<wchar_t> buffer) {
    if (buffer.empty()) return;
    const std::size_t length = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.begin(), length, buffer.begin());
    buffer[length] = L'\0';
}

}  // namespace

bool CFru::HasInternalArea() const {
    CTrace trace(kClass, L"HasInternalArea");
    return mHeader.GetInternalUseOffset() != 0;
}

bool CFru::HasChassisArea() const {
    CTrace trace(kClass, L"HasChassisArea");
    return mHeader.GetChassisOffset() != 0;
}

bool CFru::HasBoardArea() const {
    CTrace trace(kClass, L"HasBoardArea");
    return mHeader.GetBoardOffset() != 0;
}

bool CFru::HasProductArea() const {
    CTrace trace(kClass, L"HasProductArea");
    return mHeader.GetProductOffset() != 0;
}

bool CFru::HasMultiRecArea() const {
    CTrace trace(kClass, L"HasMultiRecArea");
    return mHeader.GetMultiRecordOffset() != 0;
}

std::uint32_t CFru::GetNumberOfAreas() const {
    CTrace trace(kClass, L"GetNumberOfAreas");
    const bool present[] = {HasInternalArea(), HasChassisArea(), HasBoardArea(), HasProductArea(),
                            HasMultiRecArea()};
    return static_cast<std::uint32_t>(std::ranges::count(present, true));
}

std::uint32_t CFru::GetOverallLength() const {
    CTrace trace(kClass, L"GetOverallLength");
    return FRU_HEADER_LENGTH + mInternalUseArea.GetLength() + mChassisArea.GetLength() +
           mBoardArea.GetLength() + mProductArea.GetLength() + mMultiRecAreaLength;
}

std::uint32_t CFru::GetInternalAreaLength() const {
    CTrace trace(kClass, L"GetInternalAreaLength");
    return mInternalUseArea.GetLength();
}

std::uint32_t CFru::GetMultiRecAreaLength() const {
    CTrace trace(kClass, L"GetMultiRecAreaLength");
    return mMultiRecAreaLength;
}

const wchar_t* CFru::GetFruNameString() const {
    CTrace trace(kClass, L"GetFruNameString");
    return mLocator.mName ? mLocator.mName->c_str() : nullptr;
}

void CFru::GetFriendlyFruIdentifier(const FRU_LOCATOR& locator, std::span<wchar_t> buffer) {
    CTrace trace(kClass, L"GetFriendlyFruIdentifier");
    if (locator.mName) {
        CopyCut(*locator.mName, buffer);
        return;
    }
    CopyCut(FormatOrvelString(IDS_FRU_IDENTIFIER, unsigned{locator.mFruDeviceId},
                              unsigned{locator.mControllerAddress}, unsigned{locator.mSlaveAddress},
                              unsigned{locator.mBus}),
            buffer);
}

void CFru::SerializeCommonHeader(std::span<std::uint8_t, FRU_HEADER_LENGTH> buffer) {
    CTrace trace(kClass, L"SerializeCommonHeader");
    std::ranges::copy(mHeader.GetData(), buffer.begin());
}

std::uint32_t CFru::SerializeMultiRecArea(std::span<std::uint8_t> buffer,
                                          std::uint32_t& written) const {
    CTrace trace(kClass, L"SerializeMultiRecArea");
    written = 0;
    std::size_t position = 0;
    for (const FRUMultiRecord& record : mMultiRecords) {
        if (position + record.GetLength() > buffer.size()) {
            trace.Failure(L"Buffer Too Small");
            return ORVEL_ERROR_UNEXPECTED;
        }
        record.Write(buffer.subspan(position));
        position += record.GetLength();
    }
    written = static_cast<std::uint32_t>(position);
    return ORVEL_SUCCESS;
}

std::uint32_t CFru::SetMultiRecArea(std::span<const std::uint8_t> bytes, bool modified) {
    CTrace trace(kClass, L"SetMultiRecArea");
    try {
        std::optional<std::vector<FRUMultiRecord>> records;
        // The area's length is held in 16 bits, as the device's offsets are.
        if (bytes.size() <= std::numeric_limits<std::uint16_t>::max()) {
            records = SplitMultiRecords(bytes);
        }
        if (!records) {
            trace.Failure(L"Invalid MultiRec Area");
            SetAreaError(IDS_INVALID_MULTIREC_AREA);
            return ORVEL_ERROR_INVALID_MULTIREC_AREA;
        }
        mMultiRecords = std::move(*records);
    } catch (const std::bad_alloc&) {
        trace.Failure(L"FRU Error Allocation");
        SetLastErrorString(IDS_NO_MEMORY);
        return ORVEL_ERROR_ALLOCATION;
    }
    mMultiRecAreaLength = static_cast<std::uint16_t>(bytes.size());
    mMultiRecModified = modified;
    return ORVEL_SUCCESS;
}

bool CFru::CheckMultiRecCheckSum() const {
    CTrace trace(kClass, L"CheckMultiRecCheckSum");
    return std::ranges::all_of(mMultiRecords, &FRUMultiRecord::IsValid);
}

bool CFru::IsMultiRecModified() const {
    CTrace trace(kClass, L"IsMultiRecModified");
    return mMultiRecModified;
}

void CFru::ResetMultiRecModified() {
    CTrace trace(kClass, L"ResetMultiRecModified");
    mMultiRecModified = false;
}

void CFru::SerializeFru(std::vector<std::uint8_t>& image) {
    CTrace trace(kClass, L"SerializeFru");
    const auto place = [&image](std::size_t offset, std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) return;
        if (image.size() < offset + bytes.size()) image.resize(offset + bytes.size());
        std::ranges::copy(bytes, image.begin() + offset);
    };
    const auto at = [](std::uint8_t offset) { return std::size_t{offset} * kFruAreaUnit; };

    place(0, mHeader.GetData());
    if (HasInternalArea()) place(at(mHeader.GetInternalUseOffset()), mInternalUseArea.GetData());
    if (HasChassisArea()) place(at(mHeader.GetChassisOffset()), mChassisArea.GetData());
    if (HasBoardArea()) place(at(mHeader.GetBoardOffset()), mBoardArea.GetData());
    if (HasProductArea()) place(at(mHeader.GetProductOffset()), mProductArea.GetData());
    if (HasMultiRecArea()) {
        std::size_t offset = at(mHeader.GetMultiRecordOffset());
        std::array<std::uint8_t, FRUMultiRecord::kHeaderLength + kMaxMultiRecordDataLength> bytes;
        for (const FRUMultiRecord& record : mMultiRecords) {
            record.Write(bytes);
            place(offset, std::span(bytes).first(record.GetLength()));
            offset += record.GetLength();
        }
    }
}

void CFru::SetAreaError(unsigned number) const {
    std::array<wchar_t, 128> identifier;
    GetFriendlyFruIdentifier(mLocator, identifier);
    SetLastErrorString(number, identifier.data());
}

void CFru::SetAreaNameError(unsigned number, unsigned name) const {
    std::array<wchar_t, 128> identifier;
    GetFriendlyFruIdentifier(mLocator, identifier);
    const wchar_t* areaName = GetOrvelString(name);
    SetLastErrorString(number, areaName != nullptr ? areaName : L"", identifier.data());
}

void CFru::ShowAreaNameWarning(unsigned number, unsigned name) const {
    if (p_display == nullptr) return;
    std::array<wchar_t, 128> identifier;
    GetFriendlyFruIdentifier(mLocator, identifier);
    const wchar_t* areaName = GetOrvelString(name);
    p_display(
        FormatOrvelString(number, areaName != nullptr ? areaName : L"", identifier.data()).c_str());
}

}  // namespace Orvel_Private
