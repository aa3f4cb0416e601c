// The FRU's common header: format version, the offsets of the five areas in
// 8-byte units (0: absent), a pad byte and the checksum. It is kept exactly
// as read; edits of the areas never change it.
#ifndef SRVFW_ORVEL_FRU_HEADER_H
#define SRVFW_ORVEL_FRU_HEADER_H

#include <array>
#include <cstdint>
#include <span>

#include "orvel/fru_format.h"

namespace Orvel_Private {

class CFruHeader {
  public:
    void SetData(std::span<const std::uint8_t, FRU_HEADER_LENGTH> bytes);
    std::span<const std::uint8_t, FRU_HEADER_LENGTH> GetData();
    std::uint32_t GetLength() const;

    // Bits 2:0 of the format version are 1 in every IPMI FRU.
    bool IsIpmiFormat() const;
    // The eight bytes sum to 0 modulo 256.
    bool IsValid() const;

    std::uint8_t GetInternalUseOffset() const { return mInternalUseOffset; }
    std::uint8_t GetChassisOffset() const { return mChassisOffset; }
    std::uint8_t GetBoardOffset() const { return mBoardOffset; }
    std::uint8_t GetProductOffset() const { return mProductOffset; }
    std::uint8_t GetMultiRecordOffset() const { return mMultiRecordOffset; }

  private:
    std::array<std::uint8_t, FRU_HEADER_LENGTH> Bytes() const;

    std::uint8_t mFormatVersion = 0;
    std::uint8_t mInternalUseOffset = 0;
    std::uint8_t mChassisOffset = 0;
    std::uint8_t mBoardOffset = 0;
    std::uint8_t mProductOffset = 0;
    std::uint8_t mMultiRecordOffset = 0;
    std::uint8_t mPad = 0;
    std::uint8_t mChecksum = 0;
    std::array<std::uint8_t, FRU_HEADER_LENGTH> mData{};  // what GetData hands out
};

}  // namespace Orvel_Private

#endif
