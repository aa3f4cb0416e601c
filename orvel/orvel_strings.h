// Numbers of the library's texts in its string file ("orvel/str/orvel.str").
// The texts are the string file's; the arguments a formatted text receives
// are fixed here and noted with each number.
#ifndef SRVFW_ORVEL_ORVEL_STRINGS_H
#define SRVFW_ORVEL_ORVEL_STRINGS_H

namespace Orvel_Private {

enum OrvelStringNumber : unsigned {
    // Area names.
    IDS_AREA_CHASSIS = 4,
    IDS_AREA_BOARD = 5,
    IDS_AREA_PRODUCT = 6,
    IDS_AREA_INTERNAL_USE = 7,
    IDS_AREA_MULTIRECORD = 8,

    // Field titles. Each names the title of an area's field 0; the area's
    // further fixed items take the numbers after it, and its custom fields
    // share the number after its last fixed item (13, 20, 28).
    IDS_TITLE_INTERNAL_USE = 9,
    IDS_TITLE_CHASSIS_TYPE = 10,
    IDS_TITLE_MFG_DATE_TIME = 14,
    IDS_TITLE_PRODUCT_MANUFACTURER = 21,

    IDS_MFG_DATE_TIME_UNREADABLE = 34,
    // Month (1-12), day of month, four-digit year, hour, minute, second; ints.
    IDS_MFG_DATE_TIME = 35,

    // Chassis type t (1 to 23) is named by text t + 35.
    IDS_CHASSIS_TYPE_NAME_BASE = 35,
    // A chassis type without a name (0, 24 and above); the type, unsigned.
    IDS_CHASSIS_TYPE_UNNAMED = 59,

    IDS_NO_MEMORY = 102,
    IDS_NOT_IPMI_FRU = 103,
    // The invalid-area texts take the FRU's identifier (wide text).
    IDS_INVALID_INTERNAL_AREA = 104,
    IDS_INVALID_BOARD_AREA = 106,
    IDS_INVALID_CHASSIS_AREA = 107,
    IDS_INVALID_MULTIREC_AREA = 108,
    IDS_INVALID_HEADER_AREA = 109,
    IDS_UNEXPECTED = 125,
    // FRU device ID, controller address, slave address, bus; unsigned.
    IDS_FRU_IDENTIFIER = 134,
    IDS_NO_SUCH_FIELD = 135,
    // The field's title (wide text).
    IDS_FIELD_TOO_LONG = 137,
    IDS_INVALID_MFG_DATE_TIME = 138,
};

}  // namespace Orvel_Private

#endif
