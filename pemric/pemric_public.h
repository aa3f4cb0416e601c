// The entries of the interface table, in slot order, and the checks each
// makes before it works.
#ifndef SRVFW_PEMRIC_PEMRIC_PUBLIC_H
#define SRVFW_PEMRIC_PEMRIC_PUBLIC_H

#include <cstdint>

#include "bmc/trace.h"
#include "include/pemric_interface.h"

struct Pemric_Public {
    using Table = _EFI_SDR_INTERFACE*;
    using u32 = std::uint32_t;

    static u32 Initialize(Table table, int platform);
    static u32 DeInitialize(Table table);
    static u32 LoadConfigurationFromSystem(Table table);
    static u32 LoadConfigurationFromFile(Table table, const wchar_t* path, const wchar_t* unused);
    static u32 CommitConfigurationToSystem(Table table);
    static u32 SaveConfigurationToFile(Table table, const wchar_t* path, const wchar_t* unused);
    static u32 IsLoaded(Table table, bool& loaded);
    static u32 IsModified(Table table, bool& modified);
    static u32 SetProgressCallback(Table table, PROGRESS_CALLBACK callback);
    static u32 SetProgressCallbackInterval(Table table, unsigned interval);
    static u32 SetLanguageLocale(Table table, wchar_t* language, wchar_t* locale);
    static u32 SetDebugLevel(Table table, unsigned level);
    static u32 SetDisplayCallback(Table table, PEMRIC_DISPLAY_CALLBACK callback);
    static u32 SetTag(Table table, wchar_t* tag);
    static u32 ClearTag(Table table, wchar_t* tag);
    static u32 GetVersionFromFile(Table table, wchar_t*& version);
    static u32 GetVersionFromSystem(Table table, wchar_t*& version);
    static u32 GetPackageVersionFromFile(Table table, wchar_t*& version);
    static u32 GetPackageVersionFromSystem(Table table, wchar_t*& version);
    static u32 GetNumberOfSdrs(Table table, unsigned& count);
    static u32 SelectSdr(Table table, unsigned index);
    static u32 GetTypeAsInteger(Table table, unsigned& type);
    static u32 GetTypeAsString(Table table, wchar_t*& name);
    static u32 GetName(Table table, wchar_t*& name);
    static u32 ConvertTypeToString(Table table, unsigned index, wchar_t*& name);
    static u32 GetNumberOfFields(Table table, unsigned& count);
    static u32 SelectField(Table table, unsigned index);
    static u32 GetFieldTitle(Table table, wchar_t*& title);
    static u32 GetFieldValue(Table table, wchar_t*& value);
    static u32 GetFieldLocation(Table table, wchar_t*& location);
    static u32 LoadPropertiesFromSystem(Table table);
    static u32 GetNumberOfProperties(Table table, unsigned& count);
    static u32 SelectProperty(Table table, unsigned index);
    static u32 GetPropertyTitle(Table table, wchar_t*& buffer);
    static u32 GetPropertyValue(Table table, wchar_t*& buffer);
    static u32 GetLastErrorMessage(Table table, wchar_t*& text);
    static u32 SelectSysData(Table table);
    static u32 SelectFileData(Table table);
    static u32 SelectSdrList(Table table, unsigned typeIndex);
    static u32 GetSdrData(Table table, const unsigned char*& bytes, unsigned& length);
    static u32 GetSdrTags(Table table, wchar_t*& tags);
    static u32 IsSdrCommitted(Table table, bool& committed);
};

namespace Pemric_Private {

// What an entry needs before it works: the library initialised (both data
// sets there and initialised), and for most the selected set loaded.
enum class Needs { Initialized, Loaded };

// 0 when the checks up to `needs` pass: else 0xC006000F or 0xC006000B,
// with the entry's debug line.
std::uint32_t CheckEntry(Needs needs, const CTrace& trace);

inline CTrace EntryTrace(const wchar_t* name) {
    return CTrace(L"Pemric", name);
}

}  // namespace Pemric_Private

#endif
