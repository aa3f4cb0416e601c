#include "duvane/fw_file.h"
#include "duvane/fw_hex_digits.h"

namespace DirectFwUpdate_Private {

// The blocks are read byte by byte rather than through the pointer's type:
// a block copied out of an image need not lie on an even address.
bool CfwFile::VerifyChecksum(const unsigned short* block, int size) {
    if (size <= 0) return true;
    if (block == nullptr) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(block);
    unsigned sum = 0;
    int i = 0;
    for (; i + 1 < size; i += 2) sum += static_cast<unsigned>(bytes[i] | bytes[i + 1] << 8);
    if (i < size) sum += bytes[i];
    return (sum & 0xFF) == 0;
}

unsigned char CfwFile::strChecksum(const char* hex, int length) {
    if (hex == nullptr) return 0;
    unsigned sum = 0;
    for (int i = 0; i + 1 < length; i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        sum += static_cast<unsigned>((high < 0 ? 0 : high) << 4 | (low < 0 ? 0 : low));
    }
    return static_cast<unsigned char>(sum);
}

}  // namespace DirectFwUpdate_Private
