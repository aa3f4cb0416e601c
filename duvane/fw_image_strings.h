// The indices of the string table's texts that the image reader gives.
#ifndef SRVFW_DUVANE_FW_IMAGE_STRINGS_H
#define SRVFW_DUVANE_FW_IMAGE_STRINGS_H

namespace DirectFwUpdate_Private {

// Each with the display name.
inline constexpr unsigned kStringImageCannotOpen = 0;
inline constexpr unsigned kStringImageReadFailed = 1;
inline constexpr unsigned kStringMeImageEmpty = 67;

inline constexpr unsigned kStringImageOutOfMemory = 2;

// Each with the line number.
inline constexpr unsigned kStringLineNotRecord = 3;
inline constexpr unsigned kStringNoEndOfFileRecord = 4;
inline constexpr unsigned kStringLineChecksum = 5;
inline constexpr unsigned kStringLineOverlaps = 61;
inline constexpr unsigned kStringLineTooLong = 62;
inline constexpr unsigned kStringLineCountMismatch = 63;
inline constexpr unsigned kStringLineTooManyBytes = 64;
inline constexpr unsigned kStringLineNotHex = 65;
inline constexpr unsigned kStringLineAddressBytesMissing = 66;
// With the line number and the update buffer's length.
inline constexpr unsigned kStringLineOutsideImage = 60;

// With the device address.
inline constexpr unsigned kStringDeviceAddressUnknown = 6;
inline constexpr unsigned kStringBlockFormatRefused = 8;

}  // namespace DirectFwUpdate_Private

#endif
