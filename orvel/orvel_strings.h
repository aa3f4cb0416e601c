// Numbers of the library's texts in its string file ("orvel/str/orvel.str").
// The texts are the string file's; the arguments a formatted text receives
// are fixed here and noted with each number.
#ifndef SRVFW_ORVEL_ORVEL_STRINGS_H
#define SRVFW_ORVEL_ORVEL_STRINGS_H

namespace Orvel_Private {

enum OrvelStringNumber : unsigned {
    IDS_AREA_COMMON_HEADER = 3,
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

    // Property titles: IPMI version, number of FRUs, number of IPMI FRUs.
    IDS_PROPERTY_IPMI_VERSION = 29,
    IDS_PROPERTY_FRU_COUNT = 30,
    IDS_PROPERTY_IPMI_FRU_COUNT = 31,
    // The IPMI version texts: any other version byte, and 1.
    IDS_IPMI_VERSION_OTHER = 32,
    IDS_IPMI_VERSION_1 = 33,

    IDS_MFG_DATE_TIME_UNREADABLE = 34,
    // Month (1-12), day of month, four-digit year, hour, minute, second; ints.
    IDS_MFG_DATE_TIME = 35,

    // Chassis type t (1 to 23) is named by text t + 35.
    IDS_CHASSIS_TYPE_NAME_BASE = 35,
    // A chassis type without a name (0, 24 and above); the type, unsigned.
    IDS_CHASSIS_TYPE_UNNAMED = 59,

    // FRUs in the system list, entries in the locator list; unsigned.
    IDS_LOAD_PROGRESS = 63,
    // Writing progress. 64 takes the FRU identifier (wide text).
    IDS_WRITING_FRU = 64,
    IDS_WRITING_INTERNAL_AREA = 66,
    IDS_WRITING_CHASSIS_AREA = 67,
    IDS_WRITING_BOARD_AREA = 68,
    IDS_WRITING_PRODUCT_AREA = 69,
    IDS_WRITING_MULTIREC_AREA = 70,

    // Configuration file key names, given to IDS_FILE_BAD_VALUE.
    IDS_KEY_FRU_TITLE = 71,
    IDS_KEY_LF_NAME = 72,
    IDS_KEY_LF_VERSION = 73,
    IDS_KEY_LF_FMT_VER = 74,
    IDS_KEY_IPMI_VERSION = 75,
    IDS_KEY_DATA_LEN = 76,
    IDS_KEY_NVS_TYPE = 77,
    IDS_KEY_DEV_ID = 78,
    IDS_KEY_DEV_CNTR = 79,
    IDS_KEY_NVS_LUN = 80,
    IDS_KEY_DEV_BUS = 81,
    IDS_KEY_DEV_ADDRESS = 82,

    // Configuration file messages. 89, 98 and 100 take the path (narrow
    // text, %s); 90 and 94 to 97 the key's or area's name (wide text, %ls) and
    // the path.
    IDS_FILE_CANNOT_OPEN = 89,
    IDS_FILE_BAD_VALUE = 90,
    // A FRU file that is a directory, FIFO or device, read or saved; the
    // path. Too long: the path and the bound in bytes (unsigned). A line
    // too long: its number (unsigned), the path and the bound (unsigned).
    IDS_FILE_NOT_REGULAR = 91,
    IDS_FILE_TOO_LONG = 92,
    IDS_FILE_LINE_TOO_LONG = 93,
    IDS_AREA_MISSING_TAG = 94,
    IDS_AREA_TOO_BIG = 95,
    IDS_AREA_UNEXPECTED_CHARACTER = 96,
    IDS_AREA_PARSE_ERROR = 97,
    IDS_FILE_UNEXPECTED_END = 98,
    IDS_FILE_CANNOT_WRITE = 100,

    IDS_FRU_NOT_FOUND = 101,
    IDS_NO_MEMORY = 102,
    IDS_NOT_IPMI_FRU = 103,
    // The invalid-area texts take the FRU's identifier (wide text).
    IDS_INVALID_INTERNAL_AREA = 104,
    IDS_INVALID_PRODUCT_AREA = 105,
    IDS_INVALID_BOARD_AREA = 106,
    IDS_INVALID_CHASSIS_AREA = 107,
    IDS_INVALID_MULTIREC_AREA = 108,
    IDS_INVALID_HEADER_AREA = 109,
    // The FRU identifier (wide text).
    IDS_WRITE_SYSTEM_FAILED = 113,
    IDS_HEADER_READ_FAILED = 123,
    IDS_UNEXPECTED = 125,
    IDS_UNSUPPORTED = 126,
    IDS_GET_CHASSIS_DATA_FAILED = 128,
    IDS_GET_PRODUCT_DATA_FAILED = 129,
    IDS_GET_BOARD_DATA_FAILED = 130,
    IDS_SET_CHASSIS_DATA_FAILED = 131,
    IDS_SET_PRODUCT_DATA_FAILED = 132,
    IDS_SET_BOARD_DATA_FAILED = 133,
    // FRU device ID, controller address, slave address, bus; unsigned.
    IDS_FRU_IDENTIFIER = 134,
    IDS_NO_SUCH_FIELD = 135,
    // The field's title (wide text).
    IDS_FIELD_TOO_LONG = 137,
    IDS_INVALID_MFG_DATE_TIME = 138,
    // What the message layer found on the way to the BMC (wide text).
    IDS_BMC_NO_ANSWER = 139,
    IDS_BMC_NO_ANSWER_DETAIL = 140,
    IDS_MFG_DATE_UNSPECIFIED = 160,
    // The character's code (unsigned).
    IDS_CHARACTER_NOT_LATIN1 = 161,
    IDS_CONTROL_CHARACTER = 162,
    // The area's name and the FRU identifier (wide texts).
    IDS_AREA_ENDS_BEFORE_FIXED_FIELDS = 163,
    IDS_AREA_PADDING_NOT_ZERO = 164,
};

}  // namespace Orvel_Private

#endif
