#include "orvel/fru_locator.h"

#include "bmc/trace.h"

namespace Orvel_Private {

void FRU_LOCATOR::SetName(const wchar_t* name) {
    CTrace trace(L"FRU_LOCATOR", L"SetName");
    if (name != nullptr) mName = name;
}

}  // namespace Orvel_Private
