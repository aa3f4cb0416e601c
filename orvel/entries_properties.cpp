// Interface entries: the properties of the system's FRU set.
#include <array>

#include "bmc/device_id.h"
#include "bmc/ipmi_numbers.h"
#include "orvel/entry_checks.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {
namespace {

constexpr std::uint32_t kPropertyCount = 3;

// The BMC's IPMI version byte; 0 (shown as "other") when the BMC gave no
// usable answer, so that a failed exchange never shows stale bytes.
std::uint8_t AskIpmiVersion() {
    BmcExchange exchange = LibraryExchange();
    if (RequestDeviceId(exchange) != 0 || exchange.CompletionCode() != ipmi::kCompletionOk) {
        return 0;
    }
    const std::span<const std::uint8_t> answer = exchange.Data();
    return answer.size() > kDeviceIdIpmiVersionByte ? answer[kDeviceIdIpmiVersionByte] : 0;
}

std::uint32_t CheckProperties(const CTrace& trace) {
    if (const std::uint32_t status = CheckEntry(Needs::Initialized, trace)) return status;
    if (!g_Orvel->mPropertiesLoaded) {
        return EntryFailure(trace, ORVEL_ERROR_NOT_LOADED, IDS_UNEXPECTED);
    }
    return ORVEL_SUCCESS;
}

std::uint32_t CheckPropertySelected(const CTrace& trace) {
    if (const std::uint32_t status = CheckProperties(trace)) return status;
    if (g_Orvel->mSelectedProperty >= kPropertyCount) {
        return EntryFailure(trace, ORVEL_ERROR_NOT_SELECTED, IDS_UNEXPECTED);
    }
    return ORVEL_SUCCESS;
}

}  // namespace
}  // namespace Orvel_Private

namespace Orvel_Public {

using namespace Orvel_Private;

u32 LoadPropertiesFromSystem(Table) {
    CTrace trace = EntryTrace(L"LoadPropertiesFromSystem");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    COrvel& state = *g_Orvel;
    state.mProperties.SetNumberOfFrus(static_cast<u8>(state.mLocatorList.Count()));
    state.mProperties.SetNumberOfIpmiFrus(static_cast<u8>(state.mSystemList.Count()));
    state.mProperties.SetIpmiVersion(AskIpmiVersion());
    state.mPropertiesLoaded = true;
    return ORVEL_SUCCESS;
}

u32 GetNumberOfProperties(Table, u32* count) {
    CTrace trace = EntryTrace(L"GetNumberOfProperties");
    if (const u32 status = CheckProperties(trace)) return status;
    if (count == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    *count = kPropertyCount;
    return ORVEL_SUCCESS;
}

u32 SelectProperty(Table, u32 index) {
    CTrace trace = EntryTrace(L"SelectProperty");
    if (const u32 status = CheckProperties(trace)) return status;
    g_Orvel->mSelectedProperty = INVALID_SELECTION;
    if (index >= kPropertyCount)
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    g_Orvel->mSelectedProperty = index;
    return ORVEL_SUCCESS;
}

u32 GetPropertyTitle(Table, const wchar_t** title) {
    CTrace trace = EntryTrace(L"GetPropertyTitle");
    if (const u32 status = CheckPropertySelected(trace)) return status;
    if (title == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    constexpr std::array<unsigned, kPropertyCount> titles = {
        IDS_PROPERTY_IPMI_VERSION, IDS_PROPERTY_FRU_COUNT, IDS_PROPERTY_IPMI_FRU_COUNT};
    *title = GetOrvelString(titles[g_Orvel->mSelectedProperty]);
    return ORVEL_SUCCESS;
}

u32 GetPropertyValue(Table, const wchar_t** value) {
    CTrace trace = EntryTrace(L"GetPropertyValue");
    if (const u32 status = CheckPropertySelected(trace)) return status;
    if (value == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    const CFruProperties& properties = g_Orvel->mProperties;
    const std::array<const std::wstring*, kPropertyCount> values = {
        &properties.GetIpmiVersionText(), &properties.GetNumberOfFrusText(),
        &properties.GetNumberOfIpmiFrusText()};
    *value = values[g_Orvel->mSelectedProperty]->c_str();
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Public
