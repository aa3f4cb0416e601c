#include "orvel/entry_checks.h"

#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"

namespace Orvel_Private {

std::uint32_t EntryFailure(const CTrace& trace, std::uint32_t status, unsigned number,
                           const wchar_t* words) {
    SetLastErrorString(number);
    trace.Failure(words);
    return status;
}

std::uint32_t CheckEntry(Needs needs, const CTrace& trace) {
    if (!g_fInitialized || g_Orvel == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const COrvel& state = *g_Orvel;
    struct Check {
        Needs level;
        bool passes;
        std::uint32_t status;
    };
    const Check checks[] = {
        {Needs::Loaded, state.mLoaded, ORVEL_ERROR_NOT_LOADED},
        {Needs::List, state.mCurrentList != nullptr, ORVEL_ERROR_NOT_SELECTED},
        {Needs::Fru, state.SelectedFru() != nullptr, ORVEL_ERROR_NOT_SELECTED},
        {Needs::Area, state.mSelectedArea != FRU_AREA_NONE, ORVEL_ERROR_NOT_SELECTED},
        {Needs::Field, state.mSelectedField != INVALID_SELECTION, ORVEL_ERROR_NOT_SELECTED},
    };
    for (const Check& check : checks) {
        if (needs < check.level) break;
        if (!check.passes) return EntryFailure(trace, check.status, IDS_UNEXPECTED);
    }
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Private
