#include "orvel/fru_format.h"

#include <numeric>

#include "bmc/trace.h"

namespace Orvel_Private {

std::uint8_t FruDefs::DecodeLength(std::uint8_t typeLength) {
    CTrace trace(L"FruDefs", L"DecodeLength");
    return typeLength & kFieldLengthMask;
}

std::uint8_t ByteSum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::uint8_t ZeroChecksum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(0x100 - ByteSum(bytes));
}

std::time_t MfgDateTimeToUnixTime(std::span<const std::uint8_t, kMfgDateTimeLength> bytes) {
    const std::time_t minutes = bytes[0] | bytes[1] << 8 | bytes[2] << 16;
    return minutes * SECONDS_IN_A_MINUTE + SECONDS_FROM_1_1_1970_TO_1_1_1996;
}

}  // namespace Orvel_Private
