// The status codes the library returns. Every failure of libpemric has
// the form C006xxxxh so that a host can tell our failures from another
// library's; 0 is success.
#ifndef SRVFW_PEMRIC_PEMRIC_STATUS_H
#define SRVFW_PEMRIC_PEMRIC_STATUS_H

namespace Pemric_Private {

inline constexpr unsigned PEMRIC_SUCCESS = 0;
inline constexpr unsigned PEMRIC_CREATE_FAILED = 0xC0060001;
// The SDR file: a line could not be read, or a search ran past the last one.
inline constexpr unsigned PEMRIC_FILE_READ_ERROR = 0xC0060007;
inline constexpr unsigned PEMRIC_FILE_WRITE_ERROR = 0xC006000A;
inline constexpr unsigned PEMRIC_NOT_LOADED = 0xC006000B;
inline constexpr unsigned PEMRIC_INDEX_OUT_OF_RANGE = 0xC006000D;
// Also: loading the string file failed.
inline constexpr unsigned PEMRIC_NOT_INITIALIZED = 0xC006000F;
inline constexpr unsigned PEMRIC_BAD_RECORD_LENGTH = 0xC0060011;
// The BMC message layer reported a completion code error (its -507).
inline constexpr unsigned PEMRIC_BMC_COMPLETION_CODE = 0xC0060012;
// Get SDR Repository Info, Clear SDR Repository or Partial Add SDR failed.
inline constexpr unsigned PEMRIC_BMC_REQUEST_FAILED = 0xC0060013;
inline constexpr unsigned PEMRIC_SDR_TYPE_NOT_SUPPORTED = 0xC0060015;
// A record in the SDR file has another number of bytes than its length line says.
inline constexpr unsigned PEMRIC_FILE_BYTE_COUNT_MISMATCH = 0xC0060016;
// Reserve SDR Repository answered with other than two bytes.
inline constexpr unsigned PEMRIC_RESERVATION_LENGTH = 0xC0060018;
inline constexpr unsigned PEMRIC_RESERVATION_FAILED = 0xC006001F;
// Get SDR failed, or the repository's records did not come to an end.
inline constexpr unsigned PEMRIC_GET_SDR_FAILED = 0xC0060020;
inline constexpr unsigned PEMRIC_OUT_OF_MEMORY = 0xC0060023;
// The SDR file ended where a record was expected, or a record has no bytes.
inline constexpr unsigned PEMRIC_FILE_INVALID = 0xC0060026;
inline constexpr unsigned PEMRIC_FILE_KEYWORD_NOT_FOUND = 0xC0060028;
inline constexpr unsigned PEMRIC_FILE_TYPE_MISMATCH = 0xC0060029;
inline constexpr unsigned PEMRIC_FILE_UNTERMINATED_STRING = 0xC006002A;
// BinaryFormat was asked to show a value in fewer digits than it needs.
inline constexpr unsigned PEMRIC_VALUE_TOO_WIDE = 0xC006002B;
inline constexpr unsigned PEMRIC_FILE_OPEN_FAILED = 0xC006002E;
inline constexpr unsigned PEMRIC_NO_SDRS = 0xC006002F;
inline constexpr unsigned PEMRIC_FILE_UNSUPPORTED_TYPE = 0xC0060031;
inline constexpr unsigned PEMRIC_STRING_TABLE_FAILED = 0xC0060033;
inline constexpr unsigned PEMRIC_PROPERTY_NOT_SELECTED = 0xC0060034;
inline constexpr unsigned PEMRIC_SDR_NOT_DECODED = 0xC0060036;
inline constexpr unsigned PEMRIC_FIELD_NOT_SELECTED = 0xC0060038;
// A search in the SDR file met the end keyword, or a record's data marker.
inline constexpr unsigned PEMRIC_FILE_SECTION_END = 0xC0060039;
inline constexpr unsigned PEMRIC_LANGUAGE_MISSING = 0xC006003A;
// Writing the records to the BMC failed.
inline constexpr unsigned PEMRIC_UPDATE_FAILED = 0xC006003B;
inline constexpr unsigned PEMRIC_VERSION_NOT_FOUND = 0xC006003C;
inline constexpr unsigned PEMRIC_PACKAGE_VERSION_NOT_FOUND = 0xC006003D;

}  // namespace Pemric_Private

#endif
