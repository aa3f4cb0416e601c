// The mapping from the flash layer's results to the public codes, and the
// texts hosts show for them. The texts are the ones field engineers know
// from the BIOS update protocol; they are kept word for word, blanks and
// line breaks included.
#include "rask/rask_messages.h"

#include <cerrno>
#include <cwchar>

#include "rask/rask_status.h"

namespace Rask_Private {

namespace {

struct CodeMapping {
    FUL_RETURN result;
    unsigned code;
};

constexpr CodeMapping kMappings[] = {
    {FUL_SUCCESS, RASK_SUCCESS},
    {FUL_INVALID_PARAMETER, RASK_INVALID_PARAMETER},
    {FUL_OUT_OF_MEMORY, RASK_OUT_OF_MEMORY},
    {FUL_NOT_ROOT, RASK_NOT_ROOT},
    {FUL_ACCESS_DENIED, RASK_ACCESS_DENIED},
    {FUL_NO_SMBIOS, RASK_NO_SMBIOS},
    {FUL_BUFFER_TOO_SMALL, RASK_BUFFER_TOO_SMALL},
    {FUL_NO_RESOURCES, RASK_NO_RESOURCES},
    {FUL_ALREADY_RUNNING, RASK_ALREADY_RUNNING},
    {FUL_DRIVER_LOAD, RASK_DRIVER_LOAD},
    {FUL_DRIVER_COMMUNICATION, RASK_DRIVER_COMMUNICATION},
    {FUL_MAP_FAILED, RASK_MAP_FAILED},
    {FUL_NO_BIOS_TABLES, RASK_NO_BIOS_TABLES},
    {FUL_BAD_FST, RASK_BAD_FST},
    {FUL_BAD_FAT, RASK_BAD_FAT},
    {FUL_BAD_FNT, RASK_BAD_FNT},
    {FUL_BAD_AREA_TABLE, RASK_BAD_AREA_TABLE},
    {FUL_READ_FAILED, RASK_READ_FAILED},
    {FUL_FST_READ_FAILED, RASK_FST_READ_FAILED},
    {FUL_FAT_READ_FAILED, RASK_FAT_READ_FAILED},
    {FUL_FNT_READ_FAILED, RASK_FNT_READ_FAILED},
    {FUL_FFB_READ_FAILED, RASK_FFB_READ_FAILED},
    {FUL_FFB_NOT_RESTORED, RASK_FFB_NOT_RESTORED},
    {FUL_BAD_VOLUME, RASK_BAD_VOLUME},
    // Set-notify where the board has no way to be told: the function is
    // not supported there.
    {FUL_NOTIFY_UNSUPPORTED, RASK_UNSUPPORTED},
};

// How a text takes its arguments.
enum class Arguments { kNone, kPath, kPathAndErrno, kLibrary };

struct Message {
    unsigned code;
    const wchar_t* text;
    Arguments arguments;
};

constexpr Message kMessages[] = {
    {RASK_INVALID_PARAMETER,
     L"A function argument passed into the Rask Interface is invalid or unrecognized.",
     Arguments::kNone},
    {RASK_OUT_OF_MEMORY, L"Rask Protocol failed to allocate memory.", Arguments::kNone},
    {RASK_NOT_ROOT, L"Root privileges are required to run this application.", Arguments::kNone},
    {RASK_ACCESS_DENIED, L"A request for exclusive access to a physical memory region was denied.",
     Arguments::kNone},
    {RASK_NO_SMBIOS, L"Unable to find the SMBIOS Table in the system.", Arguments::kNone},
    {RASK_BUFFER_TOO_SMALL, L"The output buffer size is too small to hold requested data.",
     Arguments::kNone},
    {RASK_NO_RESOURCES, L"Required resources are unavailable to the kessit driver.",
     Arguments::kNone},
    {RASK_ALREADY_RUNNING, L"This application is already running in another process.",
     Arguments::kNone},
    {RASK_DRIVER_LOAD, L"Unable to load or initialize the %s driver.", Arguments::kPath},
    {RASK_DRIVER_COMMUNICATION,
     L"Unable to communicate with the %s driver, (errno %d).\n        The driver may not be "
     L"installed.",
     Arguments::kPathAndErrno},
    {RASK_MAP_FAILED, L"The %s driver is unable to map physical memory into user space.",
     Arguments::kPath},
    {RASK_NO_BIOS_TABLES,
     L"Unable to find necessary BIOS Information Tables.\n        The system BIOS may not support "
     L"online updates.",
     Arguments::kNone},
    {RASK_BAD_FST,
     L"Failed to locate or  verify the BIOS Flash Segment Table.\n        The system BIOS may not "
     L"support online updates.",
     Arguments::kNone},
    {RASK_BAD_FAT,
     L"Failed to locate or verify the BIOS Flash Area Table.\n        The system BIOS may not "
     L"support online updates.",
     Arguments::kNone},
    {RASK_BAD_FNT,
     L"Failed to locate or verify the BIOS Flash Notification Table.\n        The system BIOS may "
     L"not support online updates.",
     Arguments::kNone},
    {RASK_BAD_AREA_TABLE,
     L"Flash Area Table parameter passed into Rask Protocol function is invalid, malformed, or "
     L"missing information.",
     Arguments::kNone},
    {RASK_READ_FAILED, L"Failed to read data from BIOS Flash.", Arguments::kNone},
    {RASK_FST_READ_FAILED, L"Failed to read the FST (Flash Segment Table) from the BIOS Flash.",
     Arguments::kNone},
    {RASK_FAT_READ_FAILED, L"Failed to read the FAT (Flash Area Table) from the BIOS Flash.",
     Arguments::kNone},
    {RASK_FNT_READ_FAILED,
     L"Failed to read the FNT (Flash Notification Table) from the BIOS Flash.", Arguments::kNone},
    {RASK_FFB_READ_FAILED, L"Failed to read the FFB (Flash Flags Block) from the BIOS Flash.",
     Arguments::kNone},
    {RASK_FFB_NOT_RESTORED,
     L"While attempting to notify the BIOS of the update, the FFB was erased but failed to get "
     L"restored properly.\n        The system must be reset before attempting to use this "
     L"utility again.",
     Arguments::kNone},
    {RASK_BAD_VOLUME, L"The Firmware Volume's read are of not correct format.", Arguments::kNone},
    {RASK_NOT_INITIALIZED, L"Rask Protocol Interface has not been initialized.", Arguments::kNone},
    {RASK_LIBRARY_LOAD, L"Unable to load %s.\n        The utility may not be completely installed.",
     Arguments::kLibrary},
    {RASK_UNSUPPORTED, L"The called Smbios Interface function is unsupported.", Arguments::kNone},
    {RASK_DRIVER_NOT_OPEN,
     L"Rask Protocol Interface function was called before opening Rask Driver.", Arguments::kNone},
    {RASK_NO_ERROR, L"Rask Protocol has not encountered any errors.", Arguments::kNone},
};

constexpr const wchar_t* kUnknownError = L"Unknown Error in the Rask Protocol: ErrorCode = 0x%x.";

}  // namespace

unsigned PublicCode(FUL_RETURN result) {
    for (const CodeMapping& mapping : kMappings) {
        if (mapping.result == result) return mapping.code;
    }
    return RASK_UNKNOWN_ERROR;
}

void FormatRaskMessage(unsigned code, wchar_t* out, std::size_t capacity) {
    if (capacity == 0) return;
    // errno first: formatting must not be what the message reports.
    const int error = errno;
    const Message* found = nullptr;
    for (const Message& message : kMessages) {
        if (message.code == code) found = &message;
    }
    int written = 0;
    if (found == nullptr) {
        written = std::swprintf(out, capacity, kUnknownError, code);
    } else {
        switch (found->arguments) {
            case Arguments::kNone:
                written = std::swprintf(out, capacity, L"%ls", found->text);
                break;
            case Arguments::kPath:
                written = std::swprintf(out, capacity, found->text, kDriverPath);
                break;
            case Arguments::kPathAndErrno:
                written = std::swprintf(out, capacity, found->text, kDriverPath, error);
                break;
            case Arguments::kLibrary:
                written = std::swprintf(out, capacity, found->text, kLibraryFile);
                break;
        }
    }
    // swprintf gives -1 when the text does not fit; keep what it wrote.
    if (written < 0) out[capacity - 1] = L'\0';
}

}  // namespace Rask_Private
