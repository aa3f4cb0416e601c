// The product info area: language code, Manufacturer Name, Product Name,
// Product Part/Model Number, Product Version, Product Serial Number, Asset
// Tag and FRU File ID, then custom fields.
#ifndef SRVFW_ORVEL_FRU_PRODUCT_AREA_H
#define SRVFW_ORVEL_FRU_PRODUCT_AREA_H

#include "orvel/fru_info_area.h"

namespace Orvel_Private {

// The longest asset tag the product area loaded last could hold without
// growing: its Asset Tag's length plus its padding, at most 63 bytes (a
// field's limit). One value for the whole library.
extern std::uint32_t nTotalAssetTagLength;

class CProductInfoArea : public CFruInfoArea {
  public:
    static constexpr std::uint32_t kAssetTagIndex = 5;

    CProductInfoArea();

    // As CFruInfoArea::SetData; an accepted area also sets
    // nTotalAssetTagLength.
    bool SetData(std::span<const std::uint8_t> bytes);

    std::uint8_t GetLanguageCode() const { return GetAreaBytes()[0]; }
};

}  // namespace Orvel_Private

#endif
