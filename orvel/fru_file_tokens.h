// The keywords of the FRU configuration file. They are part of the file
// format, which people edit by hand and keep for years, so they are fixed
// texts and never localized ("_IPMI_VERSION" is spelt as files carry it,
// whatever the member's name says).
#ifndef SRVFW_ORVEL_FRU_FILE_TOKENS_H
#define SRVFW_ORVEL_FRU_FILE_TOKENS_H

namespace Orvel_Private::FruFileTokens {

inline constexpr char FRU_SINGLE_QUOTE = '\'';

inline constexpr char FRU_LF_NAME[] = "_LF_NAME";
inline constexpr char FRU_LF_VERSION[] = "_LF_VERSION";
inline constexpr char FRU_LF_FMT_VER[] = "_LF_FMT_VER";
inline constexpr char FRU_IMPI_VERSION[] = "_IPMI_VERSION";
inline constexpr char FRU_FRU[] = "_FRU";
inline constexpr char FRU_OPEN_PAREN[] = "(";
inline constexpr char FRU_FRU_TITLE[] = "_FRU_TITLE";
inline constexpr char FRU_START_ADDR[] = "_START_ADDR";
inline constexpr char FRU_DATA_LEN[] = "_DATA_LEN";
inline constexpr char FRU_NVS_TYPE[] = "_NVS_TYPE";
inline constexpr char FRU_DEV_ID[] = "_DEV_ID";
inline constexpr char FRU_DEV_CNTR[] = "_DEV_CNTR";
inline constexpr char FRU_NVS_LUN[] = "_NVS_LUN";
inline constexpr char FRU_DEV_BUS[] = "_DEV_BUS";
inline constexpr char FRU_DEV_ADDRESS[] = "_DEV_ADDRESS";
inline constexpr char FRU_MBMC_SIZE_ADDRS[] = "_MBMC_SIZE_ADRS";
inline constexpr char FRU_MBMC_SIZE_DATA[] = "_MBMC_SIZE_DATA";
inline constexpr char FRU_COMMON[] = "_SEE_COMMON";
inline constexpr char FRU_INTERNAL[] = "_SEE_INTERNAL";
inline constexpr char FRU_CHASSIS[] = "_SEE_CHASSIS";
inline constexpr char FRU_BOARD[] = "_SEE_BOARD";
inline constexpr char FRU_PRODUCT[] = "_SEE_PRODUCT";
inline constexpr char FRU_MULTIREC[] = "_SEE_MULTIREC";
inline constexpr char FRU_CLOSE_PAREN[] = ")";

// Every area section ends where the next section or the FRU block does.
inline constexpr char FRU_SECTION_PREFIX[] = "_SEE_";
// Everything after it on a line is a comment.
inline constexpr char FRU_COMMENT[] = "//";

// The _NVS_TYPE values.
inline constexpr char FRU_NVS_AT24CO2_NAME[] = "AT24CO2";
inline constexpr char FRU_NVS_DS1624S_NAME[] = "DS1624S";
inline constexpr char FRU_NVS_IMBDEVICE_NAME[] = "IMBDEVICE";
inline constexpr char FRU_NVS_MBMC_NAME[] = "MBMC_FRU";

}  // namespace Orvel_Private::FruFileTokens

#endif
