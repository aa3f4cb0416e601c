#include "orvel/fru_header.h"

#include "bmc/trace.h"

namespace Orvel_Private {

namespace {
constexpr std::uint8_t kIpmiFormatMask = 0x07;
constexpr std::uint8_t kIpmiFormat = 0x01;
}  // namespace

void CFruHeader::SetData(std::span<const std::uint8_t, FRU_HEADER_LENGTH> bytes) {
    CTrace trace(L"CFruHeader", L"SetData");
    mFormatVersion = bytes[0];
    mInternalUseOffset = bytes[1];
    mChassisOffset = bytes[2];
    mBoardOffset = bytes[3];
    mProductOffset = bytes[4];
    mMultiRecordOffset = bytes[5];
    mPad = bytes[6];
    mChecksum = bytes[7];
}

std::span<const std::uint8_t, FRU_HEADER_LENGTH> CFruHeader::GetData() {
    CTrace trace(L"CFruHeader", L"GetData");
    mData = Bytes();
    return mData;
}

std::uint32_t CFruHeader::GetLength() const {
    CTrace trace(L"CFruHeader", L"GetLength");
    return FRU_HEADER_LENGTH;
}

bool CFruHeader::IsIpmiFormat() const {
    CTrace trace(L"CFruHeader", L"IsIpmiFormat");
    return (mFormatVersion & kIpmiFormatMask) == kIpmiFormat;
}

bool CFruHeader::IsValid() const {
    CTrace trace(L"CFruHeader", L"IsValid");
    return ByteSum(Bytes()) == 0;
}

std::array<std::uint8_t, FRU_HEADER_LENGTH> CFruHeader::Bytes() const {
    return {mFormatVersion, mInternalUseOffset, mChassisOffset, mBoardOffset,
            mProductOffset, mMultiRecordOffset, mPad,           mChecksum};
}

}  // namespace Orvel_Private
