#include "orvel/selected_area.h"

#include "orvel/orvel_strings.h"

namespace Orvel_Private {

bool HasArea(const CFru& fru, FRU_AREA area) {
    switch (area) {
        case FRU_AREA_COMMON:
            return true;
        case FRU_AREA_INTERNAL:
            return fru.HasInternalArea();
        case FRU_AREA_CHASSIS:
            return fru.HasChassisArea();
        case FRU_AREA_BOARD:
            return fru.HasBoardArea();
        case FRU_AREA_PRODUCT:
            return fru.HasProductArea();
        case FRU_AREA_MULTIREC:
            return fru.HasMultiRecArea();
        case FRU_AREA_NONE:
            break;
    }
    return false;
}

CFruInfoArea* InfoArea(CFru& fru, FRU_AREA area) {
    switch (area) {
        case FRU_AREA_CHASSIS:
            return &fru.ChassisInfoArea();
        case FRU_AREA_BOARD:
            return &fru.BoardInfoArea();
        case FRU_AREA_PRODUCT:
            return &fru.ProductInfoArea();
        default:
            return nullptr;
    }
}

const InfoAreaTexts& TextsOf(FRU_AREA infoArea) {
    static const InfoAreaTexts chassis{IDS_GET_CHASSIS_DATA_FAILED, IDS_SET_CHASSIS_DATA_FAILED,
                                       L"Failed to get Chassis Data",
                                       L"Failed to set Chassis Data"};
    static const InfoAreaTexts board{IDS_GET_BOARD_DATA_FAILED, IDS_SET_BOARD_DATA_FAILED,
                                     L"Failed to get Board Data", L"Failed to set Board Data"};
    static const InfoAreaTexts product{IDS_GET_PRODUCT_DATA_FAILED, IDS_SET_PRODUCT_DATA_FAILED,
                                       L"Failed to get Product Data",
                                       L"Failed to set Product Data"};
    if (infoArea == FRU_AREA_CHASSIS) return chassis;
    return infoArea == FRU_AREA_BOARD ? board : product;
}

}  // namespace Orvel_Private
