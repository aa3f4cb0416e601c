// The SDR library's interface table, as a host compiles against it.
// libpemric.so.9 exports GetPemricInterface (plain C name). Every entry
// takes the table's address first and returns a status code: 0 on success,
// C006xxxxh on failure. Texts handed out stay owned by the library and
// stay valid until the next call that changes the selection or the data
// set they come from.
//
// The library keeps two data sets: the system set (the BMC's SDR
// repository) and the file set (an SDR file). A host selects a set, a
// record list of it, a record and a field or property, then asks for
// titles and values.
#ifndef SRVFW_INCLUDE_PEMRIC_INTERFACE_H
#define SRVFW_INCLUDE_PEMRIC_INTERFACE_H

#include <cstdint>

#include "include/progress_callback.h"

inline constexpr std::uint32_t EFI_SDR_INTERFACE_REVISION = 0x00010000;

// The record types in the library's type order: the index of a record
// list, as SelectSdrList and ConvertTypeToString take it.
enum SDR_TYPE_LIST : std::uint32_t {
    SDR_LIST_FULL_SENSOR = 0,                  // 01h
    SDR_LIST_COMPACT_SENSOR = 1,               // 02h
    SDR_LIST_EVENT_ONLY_SENSOR = 2,            // 03h
    SDR_LIST_ENTITY_ASSOCIATION = 3,           // 08h
    SDR_LIST_DEVICE_RELATIVE_ASSOCIATION = 4,  // 09h
    SDR_LIST_GENERIC_DEVICE_LOCATOR = 5,       // 10h
    SDR_LIST_FRU_DEVICE_LOCATOR = 6,           // 11h
    SDR_LIST_CONTROLLER_LOCATOR = 7,           // 12h
    SDR_LIST_CONTROLLER_CONFIRMATION = 8,      // 13h
    SDR_LIST_CHANNEL_INFO = 9,                 // 14h
    SDR_LIST_OEM = 10,                         // C0h
    SDR_LIST_COUNT = 11,
};

// The properties of the repository, as SelectProperty takes them.
enum SDR_PROPERTY : std::uint32_t {
    SDR_PROPERTY_VERSION = 0,
    SDR_PROPERTY_RECORD_COUNT = 1,
    SDR_PROPERTY_FREE_SPACE = 2,
    SDR_PROPERTY_ADDITION_TIME = 3,
    SDR_PROPERTY_ERASE_TIME = 4,
    SDR_PROPERTY_FULL = 5,  // only counted when the free space is 0
};

// A property title or value is copied into a buffer of the host's of at
// least this many wide characters.
inline constexpr unsigned SDR_PROPERTY_TEXT_LENGTH = 256;

struct _EFI_SDR_INTERFACE;
using PEMRIC_DISPLAY_CALLBACK = void (*)(const wchar_t* text);

struct _EFI_SDR_INTERFACE {
    std::uint32_t Revision;
    std::uint32_t (*Initialize)(_EFI_SDR_INTERFACE*, int platform);
    std::uint32_t (*DeInitialize)(_EFI_SDR_INTERFACE*);
    // Reads every record of the BMC's repository into the system set.
    std::uint32_t (*LoadConfigurationFromSystem)(_EFI_SDR_INTERFACE*);
    // Reads an SDR file into the file set; the second text is not used.
    std::uint32_t (*LoadConfigurationFromFile)(_EFI_SDR_INTERFACE*, const wchar_t* path,
                                               const wchar_t* unused);
    // Writes the file set's records that pass the tag check to the BMC.
    std::uint32_t (*CommitConfigurationToSystem)(_EFI_SDR_INTERFACE*);
    // Saves the system set to an SDR file; the second text is not used.
    std::uint32_t (*SaveConfigurationToFile)(_EFI_SDR_INTERFACE*, const wchar_t* path,
                                             const wchar_t* unused);
    std::uint32_t (*IsLoaded)(_EFI_SDR_INTERFACE*, bool& loaded);
    std::uint32_t (*IsModified)(_EFI_SDR_INTERFACE*, bool& modified);
    // Called with PROGRESS_MESSAGE and a text, or PROGRESS_COUNT, n and total.
    std::uint32_t (*SetProgressCallback)(_EFI_SDR_INTERFACE*, PROGRESS_CALLBACK callback);
    std::uint32_t (*SetProgressCallbackInterval)(_EFI_SDR_INTERFACE*, unsigned interval);
    std::uint32_t (*SetLanguageLocale)(_EFI_SDR_INTERFACE*, wchar_t* language, wchar_t* locale);
    std::uint32_t (*SetDebugLevel)(_EFI_SDR_INTERFACE*, unsigned level);
    std::uint32_t (*SetDisplayCallback)(_EFI_SDR_INTERFACE*, PEMRIC_DISPLAY_CALLBACK callback);
    // The tags a commit writes: a record without tags is always written, a
    // tagged record only when one of its tags equals (without regard to
    // case) a tag set here.
    std::uint32_t (*SetTag)(_EFI_SDR_INTERFACE*, wchar_t* tag);
    std::uint32_t (*ClearTag)(_EFI_SDR_INTERFACE*, wchar_t* tag);
    std::uint32_t (*GetVersionFromFile)(_EFI_SDR_INTERFACE*, wchar_t*& version);
    std::uint32_t (*GetVersionFromSystem)(_EFI_SDR_INTERFACE*, wchar_t*& version);
    std::uint32_t (*GetPackageVersionFromFile)(_EFI_SDR_INTERFACE*, wchar_t*& version);
    std::uint32_t (*GetPackageVersionFromSystem)(_EFI_SDR_INTERFACE*, wchar_t*& version);
    // The records in the selected set's selected list (type 01h unless
    // SelectSdrList chose another); SelectSdr takes indexes below it.
    std::uint32_t (*GetNumberOfSdrs)(_EFI_SDR_INTERFACE*, unsigned& count);
    std::uint32_t (*SelectSdr)(_EFI_SDR_INTERFACE*, unsigned index);
    std::uint32_t (*GetTypeAsInteger)(_EFI_SDR_INTERFACE*, unsigned& type);
    // Succeeds without a text: name a type by ConvertTypeToString.
    std::uint32_t (*GetTypeAsString)(_EFI_SDR_INTERFACE*, wchar_t*& name);
    std::uint32_t (*GetName)(_EFI_SDR_INTERFACE*, wchar_t*& name);
    // The name of the record type at a type order index (SDR_TYPE_LIST).
    std::uint32_t (*ConvertTypeToString)(_EFI_SDR_INTERFACE*, unsigned index, wchar_t*& name);
    std::uint32_t (*GetNumberOfFields)(_EFI_SDR_INTERFACE*, unsigned& count);
    std::uint32_t (*SelectField)(_EFI_SDR_INTERFACE*, unsigned index);
    std::uint32_t (*GetFieldTitle)(_EFI_SDR_INTERFACE*, wchar_t*& title);
    std::uint32_t (*GetFieldValue)(_EFI_SDR_INTERFACE*, wchar_t*& value);
    // Where the field lies in the record, as text.
    std::uint32_t (*GetFieldLocation)(_EFI_SDR_INTERFACE*, wchar_t*& location);
    // Reads the repository information alone into the system set.
    std::uint32_t (*LoadPropertiesFromSystem)(_EFI_SDR_INTERFACE*);
    std::uint32_t (*GetNumberOfProperties)(_EFI_SDR_INTERFACE*, unsigned& count);
    std::uint32_t (*SelectProperty)(_EFI_SDR_INTERFACE*, unsigned index);
    // The buffer is the host's, SDR_PROPERTY_TEXT_LENGTH wide characters.
    std::uint32_t (*GetPropertyTitle)(_EFI_SDR_INTERFACE*, wchar_t*& buffer);
    std::uint32_t (*GetPropertyValue)(_EFI_SDR_INTERFACE*, wchar_t*& buffer);
    std::uint32_t (*GetLastErrorMessage)(_EFI_SDR_INTERFACE*, wchar_t*& text);
    std::uint32_t (*SelectSysData)(_EFI_SDR_INTERFACE*);
    std::uint32_t (*SelectFileData)(_EFI_SDR_INTERFACE*);

    // The slots after SelectFileData, added within this revision so that a
    // host reaches every record and can tell what a commit would write:
    //
    // Chooses the record list of the selected data set that GetNumberOfSdrs
    // and SelectSdr work on (SDR_TYPE_LIST; 0, type 01h, is where every set
    // starts). An index above SDR_LIST_OEM gives C006000Dh. The record
    // selection is cleared, so GetNumberOfSdrs must be called again.
    std::uint32_t (*SelectSdrList)(_EFI_SDR_INTERFACE*, unsigned typeIndex);
    // The selected record's bytes as read (header and body), and their
    // number; C0060036h for a record that holds no copy.
    std::uint32_t (*GetSdrData)(_EFI_SDR_INTERFACE*, const unsigned char*& bytes, unsigned& length);
    // The selected record's tags from its SDR file, one per line (each
    // ended by '\n'); empty for a record without tags.
    std::uint32_t (*GetSdrTags)(_EFI_SDR_INTERFACE*, wchar_t*& tags);
    // Whether a commit with the tags set now would write the selected record.
    std::uint32_t (*IsSdrCommitted)(_EFI_SDR_INTERFACE*, bool& committed);
};

extern "C" _EFI_SDR_INTERFACE* GetPemricInterface();
using GET_PEMRIC_INTERFACE = _EFI_SDR_INTERFACE* (*)();

#endif
