#include "host/fru/load.h"

#include "host/frame/library_path.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

// How many FRUs a list holds; the list stays selected.
std::uint32_t CountFrus(FruLibrary& library, FRU_LIST list) {
    library.Call("selecting the FRU list", &EFI_FRU_INTERFACE::SelectList, static_cast<int>(list));
    std::uint32_t locators = 0;
    std::uint32_t frus = 0;
    library.Call("counting the FRUs", &EFI_FRU_INTERFACE::GetNumberOfFrus, &locators, &frus);
    return frus;
}

// The newest FRU of a list after a successful load: loads append.
FruHandle Newest(FruLibrary& library, FRU_LIST list) {
    const std::uint32_t frus = CountFrus(library, list);
    return {list, frus == 0 ? 0 : frus - 1};
}

}  // namespace

FruHandle LoadFromSystem(FruLibrary& library, const std::optional<FruLocator>& locator) {
    if (locator) {
        const FruLocator& at = *locator;
        library.Call("reading the FRU (" + Describe(at) + ")", &EFI_FRU_INTERFACE::LoadFruAtAddress,
                     at.type, at.lun, at.slave, at.bus, at.controller, at.deviceId, std::uint8_t{0},
                     std::uint16_t{0});
        return Newest(library, FRU_LIST_SYSTEM);
    }
    // This entry reports success even when the read failed: it then leaves
    // the system list empty and the reason in the last-error text. An older
    // text is forgotten first so that the reason is this read's.
    library.TakeLastError();
    library.Call("reading the FRU", &EFI_FRU_INTERFACE::LoadConfigurationFromSystem);
    const std::uint32_t frus = CountFrus(library, FRU_LIST_SYSTEM);
    if (frus == 0) {
        const std::string reason = library.TakeLastError();
        // The status is part of the report even when it says success: the
        // entry's own answer, beside what it left in the last-error text.
        throw Failure(
            ExitCode::kLibraryCall,
            "reading the FRU (" + Describe(FruLocator{}) + "): " +
                (reason.empty() ? "the FRU library read nothing and gave no reason" : reason) +
                " (LoadConfigurationFromSystem returned status " + HexWord(0) +
                " and read no FRU)");
    }
    return {FRU_LIST_SYSTEM, frus - 1};
}

FruHandle LoadFromFile(FruLibrary& library, const std::filesystem::path& file) {
    const std::wstring path = LibraryPath(file);
    const std::uint32_t status =
        library.Try("LoadConfigurationFromFile", &EFI_FRU_INTERFACE::LoadConfigurationFromFile,
                    path.c_str(), nullptr);
    if (status != 0) {
        throw library.Fail(ExitCode::kFile, "reading the FRU file " + file.string(), status);
    }
    return Newest(library, FRU_LIST_FILE);
}

void SaveToFile(FruLibrary& library, FruHandle fru, const std::filesystem::path& file) {
    const std::wstring path = LibraryPath(file);
    SelectFru(library, fru);
    const std::uint32_t status =
        library.Try("SaveConfigurationToFile", &EFI_FRU_INTERFACE::SaveConfigurationToFile,
                    path.c_str(), nullptr);
    if (status != 0) {
        throw library.Fail(ExitCode::kFile, "saving the FRU to " + file.string(), status);
    }
}

}  // namespace srvfw
