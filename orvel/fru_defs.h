// Numbers that name the FRU's fixed fields across all areas.
#ifndef SRVFW_ORVEL_FRU_DEFS_H
#define SRVFW_ORVEL_FRU_DEFS_H

#include <cstdint>

namespace Orvel_Private {

// "No such item" for field indices and selections.
inline constexpr std::uint32_t INVALID_SELECTION = 0xFFFFFFFF;

// Each area numbers its fixed items from 0 in this order.
enum FRU_FIELD : std::uint32_t {
    FRU_FIELD_INTERNAL_USE_DATA = 1,
    FRU_FIELD_CHASSIS_TYPE = 2,
    FRU_FIELD_CHASSIS_PART_NUMBER = 3,
    FRU_FIELD_CHASSIS_SERIAL_NUMBER = 4,
    FRU_FIELD_BOARD_MFG_DATE_TIME = 5,
    FRU_FIELD_BOARD_MANUFACTURER = 6,
    FRU_FIELD_BOARD_PRODUCT_NAME = 7,
    FRU_FIELD_BOARD_SERIAL_NUMBER = 8,
    FRU_FIELD_BOARD_PART_NUMBER = 9,
    FRU_FIELD_BOARD_FRU_FILE_ID = 10,
    FRU_FIELD_PRODUCT_MANUFACTURER_NAME = 11,
    FRU_FIELD_PRODUCT_NAME = 12,
    FRU_FIELD_PRODUCT_PART_MODEL_NUMBER = 13,
    FRU_FIELD_PRODUCT_VERSION = 14,
    FRU_FIELD_PRODUCT_SERIAL_NUMBER = 15,
    FRU_FIELD_PRODUCT_ASSET_TAG = 16,
    FRU_FIELD_PRODUCT_FRU_FILE_ID = 17,
};

}  // namespace Orvel_Private

#endif
