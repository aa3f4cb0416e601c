// The areas of a FRU as the selection cursor sees them.
#ifndef SRVFW_ORVEL_SELECTED_AREA_H
#define SRVFW_ORVEL_SELECTED_AREA_H

#include <array>

#include "include/orvel_interface.h"
#include "orvel/fru.h"

namespace Orvel_Private {

// The order in which areas are counted by index.
inline constexpr std::array<FRU_AREA, 5> kAreaOrder = {
    FRU_AREA_INTERNAL, FRU_AREA_CHASSIS, FRU_AREA_BOARD, FRU_AREA_PRODUCT, FRU_AREA_MULTIREC};

// Whether the FRU's header announces the area; the common header always is.
bool HasArea(const CFru& fru, FRU_AREA area);

// The chassis, board or product area; null for the others.
CFruInfoArea* InfoArea(CFru& fru, FRU_AREA area);

// Calls `action` with the chassis, board or product area as its own class.
// The area classes share no virtual operations, and the chassis and board
// areas show and set their field 0 (the chassis type, the manufacturing
// date) themselves, so a call through CFruInfoArea would miss them.
template <typename Action>
decltype(auto) VisitInfoArea(CFru& fru, FRU_AREA area, Action&& action) {
    if (area == FRU_AREA_CHASSIS) return action(fru.ChassisInfoArea());
    if (area == FRU_AREA_BOARD) return action(fru.BoardInfoArea());
    return action(fru.ProductInfoArea());
}

// The texts and debug words of one info area's field failures.
struct InfoAreaTexts {
    unsigned getFailed;
    unsigned setFailed;
    const wchar_t* getFailedWords;
    const wchar_t* setFailedWords;
};
const InfoAreaTexts& TextsOf(FRU_AREA infoArea);

}  // namespace Orvel_Private

#endif
