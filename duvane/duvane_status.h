// The library's status codes, shared by the image reader and the update
// engine. Each failure leaves a text in the last-error message as well.
#ifndef SRVFW_DUVANE_DUVANE_STATUS_H
#define SRVFW_DUVANE_DUVANE_STATUS_H

namespace DirectFwUpdate_Private {

enum DuvaneStatus : int {
    DUVANE_SUCCESS = 0,
    DUVANE_BMC_NOT_IDENTIFIED = static_cast<int>(0xC00A0004),
    DUVANE_FEATURE_REFUSED = static_cast<int>(0xC00A0005),
    DUVANE_RMM_VERSION_UNAVAILABLE = static_cast<int>(0xC00A0006),
    DUVANE_OUT_OF_MEMORY = static_cast<int>(0xC00A0007),
    DUVANE_NOT_INITIALIZED = static_cast<int>(0xC00A0008),
    DUVANE_NOT_SUPPORTED = static_cast<int>(0xC00A000A),
    DUVANE_SYSTEM_NOT_LOADED = static_cast<int>(0xC00A000B),
    DUVANE_BAD_VERSION_TEXT = static_cast<int>(0xC00A000C),
    DUVANE_FILE_OPEN_FAILED = static_cast<int>(0xC00A000D),
    DUVANE_NO_IMAGE = static_cast<int>(0xC00A000E),
    DUVANE_FILE_READ_FAILED = static_cast<int>(0xC00A000F),
    DUVANE_IMAGE_FORMAT = static_cast<int>(0xC00A0010),
    DUVANE_BLOCK_FORMAT = static_cast<int>(0xC00A0011),
    DUVANE_NOT_SELECTED = static_cast<int>(0xC00A0013),
    DUVANE_NO_RMM = static_cast<int>(0xC00A0014),
    DUVANE_CONTROLLER_FAILED = static_cast<int>(0xC00A0019),
    DUVANE_TRANSFER_FAILED = static_cast<int>(0xC00A001A),
    DUVANE_LOCK_FAILED = static_cast<int>(0xC00A001E),
    DUVANE_STRINGS_NOT_CREATED = static_cast<int>(0xC00A001F),
    DUVANE_STRINGS_NOT_LOADED = static_cast<int>(0xC00A0020),
    DUVANE_STRINGS_NOT_CACHED = static_cast<int>(0xC00A0021),
    DUVANE_AREA_NOT_IN_IMAGE = static_cast<int>(0xC00A0023),
};

}  // namespace DirectFwUpdate_Private

#endif
