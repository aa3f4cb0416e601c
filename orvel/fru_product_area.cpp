#include "orvel/fru_product_area.h"

#include <algorithm>

#include "orvel/orvel_strings.h"

namespace Orvel_Private {

std::uint32_t nTotalAssetTagLength = 0;

namespace {

constexpr const wchar_t* kSetters[] = {
    L"SetManufacturerName", L"SetProductName", L"SetPartModelNumber", L"SetProductVersion",
    L"SetSerialNumber",     L"SetAssetTag",    L"SetFruFileId"};
constexpr CInfoAreaLayout kLayout{
    .className = L"CProductInfoArea",
    .areaByteCount = 1,
    .itemOffset = 0,
    .itemLength = 0,
    .firstField = FRU_FIELD_PRODUCT_MANUFACTURER_NAME,
    .firstTitle = IDS_TITLE_PRODUCT_MANUFACTURER,
    .fieldSetters = kSetters,
    .reportsRefusals = true,
    .tooLongWords = L"FRU Data Too Long",
};

}  // namespace

CProductInfoArea::CProductInfoArea() : CFruInfoArea(kLayout) {}

bool CProductInfoArea::SetData(std::span<const std::uint8_t> bytes) {
    if (!CFruInfoArea::SetData(bytes)) return false;
    const std::uint32_t assetTag =
        static_cast<std::uint32_t>(GetFixedFields()[kAssetTagIndex].GetData().size());
    nTotalAssetTagLength = std::min(kMaxFieldLength, assetTag + GetPadLength());
    return true;
}

}  // namespace Orvel_Private
