// Interface entries: reading FRUs from the BMC and from configuration
// files, writing a FRU back and saving it.
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "bmc/wide_file.h"
#include "orvel/entry_checks.h"
#include "orvel/fru_format.h"
#include "orvel/fru_no_answer.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {
namespace {

FRU_LOCATOR MakeLocator(FRU_TYPE type, std::uint8_t lun, std::uint8_t slaveAddress,
                        std::uint8_t bus, std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                        std::uint8_t mbmcSizeData, std::uint16_t mbmcSizeAddress) {
    FRU_LOCATOR locator;
    locator.mType = type;
    locator.mLun = lun;
    locator.mSlaveAddress = slaveAddress;
    locator.mBus = bus;
    locator.mControllerAddress = controllerAddress;
    locator.mFruDeviceId = fruDeviceId;
    locator.mMbmcSizeData = mbmcSizeData;
    locator.mMbmcSizeAddress = mbmcSizeAddress;
    return locator;
}

void ReportLoadProgress(const COrvel& state) {
    if (state.mProgressCallback == nullptr) return;
    const unsigned frus = state.mSystemList.Count();
    const unsigned locators = state.mLocatorList.Count();
    const std::wstring text = FormatOrvelString(IDS_LOAD_PROGRESS, frus, locators);
    state.mProgressCallback(PROGRESS_LOAD, text.c_str(), frus, locators);
}

}  // namespace
}  // namespace Orvel_Private

namespace Orvel_Public {

using namespace Orvel_Private;

// A FRU that cannot be read is not kept, and its reason stays as the
// last-error text; the call itself still succeeds, so that a host can go on
// with FRUs it loads otherwise.
u32 LoadConfigurationFromSystem(Table) {
    CTrace trace = EntryTrace(L"LoadConfigurationFromSystem");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    std::unique_ptr<CFru> fru(new (std::nothrow) CFru);
    if (fru == nullptr) return EntryFailure(trace, ORVEL_ERROR_ALLOCATION, IDS_NO_MEMORY);
    fru->GetDevLocator() = MakeLocator(FRU_NVS_IMBDEVICE, 0, 0x20, 0xFF, 0x20, 0, 0, 0);
    if (fru->LoadFromSystem(LibraryFruAccess()) == ORVEL_SUCCESS) {
        if (g_Orvel->mSystemList.Add(fru.get()) == nullptr) {
            return EntryFailure(trace, ORVEL_ERROR_ALLOCATION, IDS_NO_MEMORY);
        }
        fru.release();
        ReportLoadProgress(*g_Orvel);
    }
    g_Orvel->mLoaded = true;
    return ORVEL_SUCCESS;
}

u32 LoadFruAtAddress(Table, FRU_TYPE type, u8 lun, u8 slaveAddress, u8 bus, u8 controllerAddress,
                     u8 fruDeviceId, u8 mbmcSizeData, u16 mbmcSizeAddress) {
    CTrace trace = EntryTrace(L"LoadFruAtAddress");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    std::unique_ptr<CFru> fru(new (std::nothrow) CFru);
    if (fru == nullptr) return EntryFailure(trace, ORVEL_ERROR_MEMORY, IDS_NO_MEMORY);
    fru->GetDevLocator() = MakeLocator(type, lun, slaveAddress, bus, controllerAddress, fruDeviceId,
                                       mbmcSizeData, mbmcSizeAddress);
    if (const u32 status = fru->LoadFromSystem(LibraryFruAccess())) return status;
    if (g_Orvel->mSystemList.Add(fru.get()) == nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_UNEXPECTED, IDS_UNEXPECTED);
    }
    fru.release();
    g_Orvel->mLoaded = true;
    return ORVEL_SUCCESS;
}

u32 LoadConfigurationFromFile(Table table, const wchar_t* file, const wchar_t*) {
    CTrace trace = EntryTrace(L"LoadConfigurationFromFile");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    std::optional<std::string> path;
    if (file != nullptr) {
        path = ToMultibyte(file);
        if (!path) return EntryFailure(trace, ORVEL_ERROR_FILE_READ, IDS_UNEXPECTED);
    }
    std::unique_ptr<CFru> fru(new (std::nothrow) CFru);
    if (fru == nullptr) return EntryFailure(trace, ORVEL_ERROR_ALLOCATION, IDS_NO_MEMORY);
    if (const u32 status = fru->ReadFRUFromFile(path ? path->c_str() : nullptr)) return status;
    COrvel& state = *g_Orvel;
    if (state.mFileList.Add(fru.get()) == nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_ALLOCATION, IDS_NO_MEMORY);
    }
    fru.release();
    state.mLoaded = true;
    state.mSelectedList = FRU_LIST_NONE;
    state.mCurrentList = nullptr;
    state.ResetFruSelection();
    if (SelectList(table, FRU_LIST_FILE) != ORVEL_SUCCESS) {
        return EntryFailure(trace, ORVEL_ERROR_UNEXPECTED, IDS_UNEXPECTED);
    }
    state.mSelectedFru = state.mFileList.Count() - 1;
    return ORVEL_SUCCESS;
}

u32 CommitConfigurationToSystem(Table) {
    CTrace trace = EntryTrace(L"CommitConfigurationToSystem");
    if (const u32 status = CheckEntry(Needs::Loaded, trace)) return status;
    const COrvel& state = *g_Orvel;
    CFru* fru = state.SelectedFru();
    if (state.mSelectedList != FRU_LIST_SYSTEM || fru == nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_OUT_OF_RANGE, IDS_UNEXPECTED);
    }
    if (fru->WriteToSystem(LibraryFruAccess(), state.mProgressCallback) != ORVEL_SUCCESS) {
        trace.Failure(L"Write FRU Error");
        return ORVEL_ERROR_WRITING_FRU;
    }
    return ORVEL_SUCCESS;
}

// The FRU of either list goes to the device its location names, whole.
u32 WriteWholeFruToSystem(Table) {
    CTrace trace = EntryTrace(L"WriteWholeFruToSystem");
    if (const u32 status = CheckEntry(Needs::Fru, trace)) return status;
    CFru& fru = *g_Orvel->SelectedFru();
    if (fru.WriteToSystem(LibraryFruAccess(), g_Orvel->mProgressCallback, CFru::Extent::kWhole) !=
        ORVEL_SUCCESS) {
        trace.Failure(L"Write FRU Error");
        return ORVEL_ERROR_WRITING_FRU;
    }
    return ORVEL_SUCCESS;
}

// The file name is required and there is no auxiliary file.
u32 SaveConfigurationToFile(Table, const wchar_t* file, const wchar_t* auxiliary) {
    CTrace trace = EntryTrace(L"SaveConfigurationToFile");
    if (const u32 status = CheckEntry(Needs::Fru, trace)) return status;
    if (file == nullptr || auxiliary != nullptr) {
        return EntryFailure(trace, ORVEL_ERROR_UNEXPECTED, IDS_UNEXPECTED);
    }
    const std::optional<std::string> path = ToMultibyte(file);
    if (!path) return EntryFailure(trace, ORVEL_ERROR_UNEXPECTED, IDS_UNEXPECTED);
    return g_Orvel->SelectedFru()->SaveFRUToFile(path->c_str());
}

// This library keeps no list of FRU locations of its own to add to.
u32 AddFruToSystemList(Table) {
    CTrace trace = EntryTrace(L"AddFruToSystemList");
    return ORVEL_ERROR_UNSUPPORTED;
}

u32 FindFruAtAddressAndChecksumHeader(Table, FRU_TYPE type, u8 lun, u8 slaveAddress, u8 bus,
                                      u8 controllerAddress, u8 fruDeviceId) {
    CTrace trace = EntryTrace(L"FindFruAtAddressAndChecksumHeader");
    if (const u32 status = CheckEntry(Needs::Initialized, trace)) return status;
    const FRU_LOCATOR locator =
        MakeLocator(type, lun, slaveAddress, bus, controllerAddress, fruDeviceId, 0xFF, 0);
    std::array<std::uint8_t, FRU_HEADER_LENGTH> header{};
    if (const u32 status = CFru::ReadDataFromFRU(LibraryFruAccess(), locator, 0, header)) {
        if (LastTransferGotNoAnswer()) {
            trace.Failure(L"No answer");
            return ReportNoAnswer(status);
        }
        return EntryFailure(trace, status, IDS_HEADER_READ_FAILED);
    }
    if ((header[0] & 0x07) != 1) {
        return EntryFailure(trace, ORVEL_ERROR_NOT_IPMI_FRU, IDS_NOT_IPMI_FRU);
    }
    if (CFru::CalculateChecksum(header) != 0) {
        std::array<wchar_t, 128> identifier{};
        CFru::GetFriendlyFruIdentifier(locator, identifier);
        SetLastErrorString(IDS_INVALID_HEADER_AREA, identifier.data());
        trace.Failure(L"Invalid Header Area");
        return ORVEL_ERROR_INVALID_HEADER;
    }
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Public
