// The status codes the record model returns. Every failure of libpemric has
// the form C006xxxxh so that a host can tell our failures from another
// library's; 0 is success.
#ifndef SRVFW_PEMRIC_PEMRIC_STATUS_H
#define SRVFW_PEMRIC_PEMRIC_STATUS_H

namespace Pemric_Private {

inline constexpr unsigned PEMRIC_SUCCESS = 0;
inline constexpr unsigned PEMRIC_BAD_RECORD_LENGTH = 0xC0060011;
inline constexpr unsigned PEMRIC_SDR_TYPE_NOT_SUPPORTED = 0xC0060015;
inline constexpr unsigned PEMRIC_OUT_OF_MEMORY = 0xC0060023;
// BinaryFormat was asked to show a value in fewer digits than it needs.
inline constexpr unsigned PEMRIC_VALUE_TOO_WIDE = 0xC006002B;
inline constexpr unsigned PEMRIC_SDR_NOT_DECODED = 0xC0060036;
inline constexpr unsigned PEMRIC_FIELD_NOT_SELECTED = 0xC0060038;

}  // namespace Pemric_Private

#endif
