// The chassis info area: the chassis type, Chassis Part Number and Chassis
// Serial Number, then custom fields. Field 0 is the chassis type.
#ifndef SRVFW_ORVEL_FRU_CHASSIS_AREA_H
#define SRVFW_ORVEL_FRU_CHASSIS_AREA_H

#include "orvel/fru_info_area.h"

namespace Orvel_Private {

class CChassisInfoArea : public CFruInfoArea {
  public:
    // Types a caller may set; stored data may carry any value.
    static constexpr std::uint8_t kMinChassisType = 1;
    static constexpr std::uint8_t kMaxChassisType = 23;

    CChassisInfoArea();

    // Field 0 shows the chassis type's name.
    const wchar_t* GetFieldValueFromIndex(std::uint32_t index);
    // Field 0 takes exactly one byte from 1 to 23. The chassis area refuses
    // values without a last-error text.
    bool SetFieldData(std::uint32_t index, const std::uint8_t* bytes, std::uint32_t length,
                      FRU_FIELD_TYPE type);

    std::uint8_t GetChassisType() const { return GetAreaBytes()[0]; }
    // The name of the chassis type; a type without a name shows its number.
    const wchar_t* GetChassisString();
    // The text that names `type`: type t from 1 to 23 is text t + 35; every
    // other type is the unnamed-type text, formatted with the number.
    static unsigned GetChassisTypeStringNumber(std::uint8_t type);
};

}  // namespace Orvel_Private

#endif
