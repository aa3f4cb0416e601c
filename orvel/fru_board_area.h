// The board info area: language code, manufacturing date/time, Board
// Manufacturer, Board Product Name, Board Serial Number, Board Part Number
// and FRU File ID, then custom fields. Field 0 is the manufacturing
// date/time.
#ifndef SRVFW_ORVEL_FRU_BOARD_AREA_H
#define SRVFW_ORVEL_FRU_BOARD_AREA_H

#include "orvel/fru_info_area.h"

namespace Orvel_Private {

class CBoardInfoArea : public CFruInfoArea {
  public:
    CBoardInfoArea();

    // Field 0 shows the manufacturing date/time in UTC.
    const wchar_t* GetFieldValueFromIndex(std::uint32_t index);
    // Field 0 takes exactly three bytes, the minutes since 1996-01-01 00:00
    // UTC, little-endian. The library never stamps the date itself.
    bool SetFieldData(std::uint32_t index, const std::uint8_t* bytes, std::uint32_t length,
                      FRU_FIELD_TYPE type);

    std::uint8_t GetLanguageCode() const { return GetAreaBytes()[0]; }
    std::span<const std::uint8_t, kMfgDateTimeLength> GetMfgDateTime() const {
        return GetAreaBytes().subspan<1, kMfgDateTimeLength>();
    }
};

}  // namespace Orvel_Private

#endif
