#include "host/fru/library.h"

#include <system_error>

#include "host/frame/progress.h"
#include "host/frame/scoped_directory.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

// What the library shows without stopping (an area read with padding it
// does not keep) goes out beside the progress messages.
void ShowLibraryWarning(const wchar_t* text) {
    const std::wstring line = L"Warning: " + std::wstring(text != nullptr ? text : L"");
    ProgressCallback(PROGRESS_MESSAGE, line.c_str(), 0, 0);
}

// The way to the BMC is settled before the library is loaded, and only for
// a library that is there: a missing library is the fault to report.
std::unique_ptr<ImbDriverLibrary> ImbDriverFor(const LibraryPlaces& places,
                                               const FrameOptions& options) {
    std::error_code error;
    if (options.bmcInterface == BmcInterface::kPorts ||
        !std::filesystem::exists(places.libraries / kFruLibraryFile, error)) {
        return nullptr;
    }
    return std::make_unique<ImbDriverLibrary>(places.libraries, options.bmcInterface);
}

}  // namespace

FruLibrary::FruLibrary(const LibraryPlaces& places, const FrameOptions& options)
    : mImbDriver(ImbDriverFor(places, options)), mLibrary(places.libraries / kFruLibraryFile) {
    const auto get = reinterpret_cast<GET_ORVEL_INTERFACE>(mLibrary.Symbol("GetOrvelInterface"));
    mTable = get();
    if (mTable == nullptr || mTable->Revision != EFI_FRU_INTERFACE_REVISION) {
        throw Failure(ExitCode::kNotLoadable,
                      mLibrary.File().string() + " is not a FRU library srvfw knows (table " +
                          (mTable == nullptr ? std::string("missing")
                                             : "revision " + HexWord(mTable->Revision)) +
                          ", expected revision " + HexWord(EFI_FRU_INTERFACE_REVISION) + ")");
    }
    Start(places, options);
}

FruLibrary::~FruLibrary() {
    Stop();
}

void FruLibrary::Stop() noexcept {
    if (mTable->DeInitialize != nullptr) mTable->DeInitialize(mTable);
}

void FruLibrary::Start(const LibraryPlaces& places, const FrameOptions& options) {
    const std::string language = options.language.value_or("en");
    const std::string country = options.country.value_or("us");
    const std::filesystem::path strings =
        std::filesystem::path(language + country) / "orvel" / "str" / "orvel.str";
    std::error_code error;
    if (!std::filesystem::is_regular_file(places.resources / strings, error)) {
        throw Failure(ExitCode::kNotLoadable, "the resource folder " + places.resources.string() +
                                                  " holds no " + strings.string() +
                                                  " (name the folder with --res-dir)");
    }
    {
        ScopedDirectory resources(places.resources);
        const std::uint32_t status =
            Try("Initialize", &EFI_FRU_INTERFACE::Initialize, options.platform);
        // Not initialized, the library has no message to give.
        if (status != 0) {
            throw Failure(ExitCode::kNotLoadable,
                          "the FRU library " + mLibrary.File().string() + " did not start", status);
        }
        if (options.language) {
            const std::wstring wideLanguage(language.begin(), language.end());
            const std::wstring wideCountry(country.begin(), country.end());
            const std::uint32_t locale =
                Try("SetLanguageLocale", &EFI_FRU_INTERFACE::SetLanguageLocale,
                    wideLanguage.c_str(), wideCountry.c_str());
            if (locale != 0) {
                const Failure failure =
                    Fail(ExitCode::kNotLoadable, "setting the language " + language + "-" + country,
                         locale);
                Stop();
                throw failure;
            }
        }
    }
    try {
        Call("setting the debug level", &EFI_FRU_INTERFACE::SetDebugLevel, options.debugLevel);
        Call("setting the progress callback", &EFI_FRU_INTERFACE::SetProgressCallback,
             &ProgressCallback);
        Call("setting the display callback", &EFI_FRU_INTERFACE::SetDisplayCallback,
             &ShowLibraryWarning);
    } catch (...) {
        Stop();
        throw;
    }
}

Failure FruLibrary::Fail(ExitCode code, std::string_view what, std::uint32_t status) {
    std::string message = TakeLastError();
    if (mImbDriver != nullptr && !mImbDriver->LastFailure().empty()) {
        message += " (the kernel's IPMI driver: " + mImbDriver->LastFailure() + ")";
    }
    return Failure(
        code,
        std::string(what) + ": " + (message.empty() ? "the FRU library gave no reason" : message),
        status);
}

std::string FruLibrary::TakeLastError() {
    const wchar_t* text = nullptr;
    if (Try("GetLastErrorMessage", &EFI_FRU_INTERFACE::GetLastErrorMessage, &text) != 0) {
        return {};
    }
    return ToUtf8(text);
}

}  // namespace srvfw
