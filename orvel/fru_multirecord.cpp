#include "orvel/fru_multirecord.h"

#include <algorithm>

#include "bmc/trace.h"

namespace Orvel_Private {

bool FRUMultiRecord::SetData(std::span<const std::uint8_t> bytes) {
    CTrace trace(L"FRUMultiRecord", L"SetData");
    if (bytes.size() < kHeaderLength || bytes.size() != kHeaderLength + bytes[2]) {
        trace.Failure(L"Invalid Record Length");
        return false;
    }
    mTypeId = bytes[0];
    mFormat = bytes[1];
    mDataLength = bytes[2];
    mDataChecksum = bytes[3];
    mHeaderChecksum = bytes[4];
    std::ranges::copy(bytes.subspan(kHeaderLength), mData.begin());
    return true;
}

void FRUMultiRecord::Write(std::span<std::uint8_t> out) const {
    std::ranges::copy(GetHeader(), out.begin());
    std::ranges::copy(GetRecordData(), out.begin() + kHeaderLength);
}

bool FRUMultiRecord::IsValid() const {
    CTrace trace(L"FRUMultiRecord", L"IsValid");
    return ByteSum(GetHeader()) == 0 && ZeroChecksum(GetRecordData()) == mDataChecksum;
}

std::optional<std::vector<FRUMultiRecord>> SplitMultiRecords(std::span<const std::uint8_t> bytes) {
    std::vector<FRUMultiRecord> records;
    while (!bytes.empty()) {
        if (bytes.size() < FRUMultiRecord::kHeaderLength) return std::nullopt;
        const std::size_t length = FRUMultiRecord::kHeaderLength + bytes[2];
        if (length > bytes.size()) return std::nullopt;
        records.emplace_back().SetData(bytes.first(length));
        bytes = bytes.subspan(length);
    }
    return records;
}

}  // namespace Orvel_Private
