#include "duvane/fw_hex_digits.h"

namespace DirectFwUpdate_Private {

const std::array<std::int16_t, 65536> kHexPairValues = [] {
    std::array<std::int16_t, 65536> values{};
    for (unsigned pair = 0; pair < values.size(); ++pair) {
        const int high = kHexDigitValues[pair >> 8];
        const int low = kHexDigitValues[pair & 0xFF];
        values[pair] = static_cast<std::int16_t>(high < 0 || low < 0 ? -1 : high << 4 | low);
    }
    return values;
}();

}  // namespace DirectFwUpdate_Private
