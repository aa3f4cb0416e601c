#include "host/bios/system_data.h"

#include <cwchar>

#include "host/frame/text.h"

namespace srvfw {

namespace {

// An entry point's length is one byte: no entry point is longer.
constexpr unsigned kMaxEntryPoint = 0xFF;
constexpr std::size_t kEntryPointLengthAt = 5;
constexpr std::size_t kTableLengthAt = 22;
constexpr unsigned kMaxPlatformIdChars = 256;
// What the library answers when the memory device does not take the
// platform-ID request (only a dedicated driver in its place does).
constexpr std::uint32_t kRaskUnknownError = 0xC00E0001;

std::vector<std::uint8_t> ReadSmbios(BiosLibrary& library, SMB_DATA_TYPE type, unsigned length,
                                     const std::string& what) {
    std::vector<std::uint8_t> bytes(length);
    library.Call(what, &_EFI_RASK_IF::GetSmbiosData, type, length,
                 reinterpret_cast<char*>(bytes.data()));
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> ReadSmbiosEntryPoint(BiosLibrary& library) {
    std::vector<std::uint8_t> entry =
        ReadSmbios(library, SMB_ENTRY_POINT, kMaxEntryPoint, "reading the SMBIOS entry point");
    // The library zeroes what lies past the entry point's own length.
    const std::size_t length = entry[kEntryPointLengthAt];
    if (length != 0) entry.resize(length);
    return entry;
}

std::vector<std::uint8_t> ReadSmbiosTable(BiosLibrary& library) {
    const std::vector<std::uint8_t> entry = ReadSmbiosEntryPoint(library);
    if (entry.size() < kTableLengthAt + 2) {
        throw Failure(ExitCode::kLibraryCall, "the SMBIOS entry point (" +
                                                  std::to_string(entry.size()) +
                                                  " bytes) holds no structure table length");
    }
    const unsigned length = entry[kTableLengthAt] | entry[kTableLengthAt + 1] << 8;
    if (length == 0) return {};
    return ReadSmbios(library, SMB_STRUCTURE_TABLE, length, "reading the SMBIOS structure table");
}

std::string ReadPlatformId(BiosLibrary& library) {
    std::vector<wchar_t> id(kMaxPlatformIdChars + 1, L'\0');
    const std::uint32_t status =
        library.Try("GetPlatformId", &_EFI_RASK_IF::GetPlatformId, kMaxPlatformIdChars, id.data());
    if (status == 0) {
        id.back() = L'\0';
        return ToUtf8(id.data());
    }
    Failure failure = library.Fail(ExitCode::kLibraryCall, "reading the platform ID", status);
    if (status != kRaskUnknownError) throw failure;
    throw failure.With(
        "Only a platform driver in the place of the memory device answers this request.");
}

}  // namespace srvfw
