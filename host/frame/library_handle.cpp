#include "host/frame/library_handle.h"

#include <system_error>

namespace srvfw::library_frame {

std::unique_ptr<ImbDriverLibrary> ImbDriverFor(const LibraryPlaces& places,
                                               const FrameOptions& options,
                                               std::string_view libraryFile) {
    std::error_code error;
    if (options.bmcInterface == BmcInterface::kPorts ||
        !std::filesystem::exists(places.libraries / libraryFile, error)) {
        return nullptr;
    }
    return std::make_unique<ImbDriverLibrary>(places.libraries, options.bmcInterface);
}

void CheckTable(const void* table, std::uint32_t revision, std::uint32_t expected,
                const SharedLibrary& library, std::string_view noun) {
    if (table != nullptr && revision == expected) return;
    throw Failure(
        ExitCode::kNotLoadable,
        library.File().string() + " is not a " + std::string(noun) + " srvfw knows (table " +
            (table == nullptr ? std::string("missing") : "revision " + HexWord(revision)) +
            ", expected revision " + HexWord(expected) + ")");
}

void CheckStringFile(const LibraryPlaces& places, const FrameOptions& options,
                     std::string_view stringFile) {
    const std::filesystem::path strings =
        std::filesystem::path(options.language.value_or("en") + options.country.value_or("us")) /
        stringFile;
    std::error_code error;
    if (!std::filesystem::is_regular_file(places.resources / strings, error)) {
        throw Failure(ExitCode::kNotLoadable, "the resource folder " + places.resources.string() +
                                                  " holds no " + strings.string() +
                                                  " (name the folder with --res-dir)");
    }
}

std::wstring Wide(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

void ShowLibraryWarning(const wchar_t* text) {
    if (OnlyMovesTheCursor(text)) return;
    const std::wstring line = L"Warning: " + std::wstring(text != nullptr ? text : L"");
    ProgressCallback(PROGRESS_MESSAGE, line.c_str(), 0, 0);
}

Failure FailureWithReason(ExitCode code, std::string_view what, std::uint32_t status,
                          std::string reason, const ImbDriverLibrary* imbDriver,
                          std::string_view noun) {
    if (imbDriver != nullptr && !imbDriver->LastFailure().empty()) {
        reason += " (the kernel's IPMI driver: " + imbDriver->LastFailure() + ")";
    }
    return Failure(code,
                   std::string(what) + ": " +
                       (reason.empty() ? "the " + std::string(noun) + " gave no reason" : reason),
                   status);
}

}  // namespace srvfw::library_frame
