// A library loaded and started the way every srvfw command group needs it:
// its table found and checked, Initialize run inside the resource folder,
// then the language, debug level, progress and display callbacks set; calls
// through the table turn a failing status into a Failure that carries the
// library's own last-error text.
//
// Each library's command group describes its table once, in a
// specialization of LibraryTraits beside its commands:
//
//   template <> struct LibraryTraits<EFI_FRU_INTERFACE> {
//       static constexpr const char* kFile;        // "liborvel.so.9"
//       static constexpr const char* kEntryPoint;  // "GetOrvelInterface"
//       static constexpr std::uint32_t kRevision;
//       static constexpr const char* kNoun;        // "FRU library", in messages
//       static constexpr const char* kStringFile;  // under <language><country>/,
//                                                  // or nullptr: no texts of its own
//       static constexpr bool kTalksToBmc;         // takes the IMB driver
//       // Optional (default true): the library takes a progress and a
//       // display callback. One that has neither answers their entries
//       // with a failure, so they are not called.
//       static constexpr bool kTakesCallbacks;
//       // Optional (default false): a failed Initialize leaves the
//       // library able to say why through its last-error text, and a
//       // DeInitialize then frees what the start left.
//       static constexpr bool kExplainsFailedStart;
//       // What Initialize takes after the table, as a tuple.
//       static auto InitializeArguments(const FrameOptions&);
//       // Optional: where display texts go (default: shown as warnings).
//       static void Display(const wchar_t* text);
//   };
#ifndef SRVFW_HOST_FRAME_LIBRARY_HANDLE_H
#define SRVFW_HOST_FRAME_LIBRARY_HANDLE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "host/frame/exit_codes.h"
#include "host/frame/failure.h"
#include "host/frame/frame_options.h"
#include "host/frame/imb_driver_library.h"
#include "host/frame/library_places.h"
#include "host/frame/progress.h"
#include "host/frame/scoped_directory.h"
#include "host/frame/shared_library.h"
#include "host/frame/text.h"

namespace srvfw {

template <class Table>
struct LibraryTraits;

namespace library_frame {

// The way to the BMC is settled before the library is loaded, and only for
// a library that is there: a missing library is the fault to report.
std::unique_ptr<ImbDriverLibrary> ImbDriverFor(const LibraryPlaces& places,
                                               const FrameOptions& options,
                                               std::string_view libraryFile);

// Throws (not loadable) when the table is missing or of another revision.
void CheckTable(const void* table, std::uint32_t revision, std::uint32_t expected,
                const SharedLibrary& library, std::string_view noun);

// The string file the library will open, relative to the resource folder;
// throws (not loadable) when the folder does not hold it.
void CheckStringFile(const LibraryPlaces& places, const FrameOptions& options,
                     std::string_view stringFile);

// Language and country as the library's locale entry takes them.
std::wstring Wide(std::string_view text);

// What the library shows without stopping goes out beside the progress
// messages.
void ShowLibraryWarning(const wchar_t* text);

// "WHAT: the library's text", with the kernel driver's own reason after it.
Failure FailureWithReason(ExitCode code, std::string_view what, std::uint32_t status,
                          std::string reason, const ImbDriverLibrary* imbDriver,
                          std::string_view noun);

}  // namespace library_frame

template <class Table>
class LibraryHandle {
  public:
    using Traits = LibraryTraits<Table>;

    // Loads the library from the library folder and starts it. Throws a
    // Failure (not loadable) when it cannot be loaded or will not start.
    LibraryHandle(const LibraryPlaces& places, const FrameOptions& options)
        : mImbDriver((RefuseLocaleWithoutTexts(options), Traits::kTalksToBmc)
                         ? library_frame::ImbDriverFor(places, options, Traits::kFile)
                         : nullptr),
          mLibrary(places.libraries / Traits::kFile) {
        using GetInterface = Table* (*)();
        mTable = reinterpret_cast<GetInterface>(mLibrary.Symbol(Traits::kEntryPoint))();
        library_frame::CheckTable(mTable, mTable == nullptr ? 0 : mTable->Revision,
                                  Traits::kRevision, mLibrary, Traits::kNoun);
        Start(places, options);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    ~LibraryHandle() { Stop(); }

    // Whether the library gives a table entry (a slot beyond the ones
    // every library of the revision fills may be null).
    template <class Status, class... Params>
    bool Has(Status (*Table::*entry)(Table*, Params...)) const {
        return mTable->*entry != nullptr;
    }

    // Calls a table entry and returns its status. One library's entries
    // return the status as unsigned, another's as int: the bits are the same.
    template <class Status, class... Params, class... Args>
    std::uint32_t Try(std::string_view what, Status (*Table::*entry)(Table*, Params...),
                      Args&&... args) {
        const auto function = mTable->*entry;
        if (function == nullptr) {
            throw Failure(ExitCode::kNotLoadable, "the " + std::string(Traits::kNoun) +
                                                      "'s table has no entry for " +
                                                      std::string(what));
        }
        return static_cast<std::uint32_t>(function(mTable, std::forward<Args>(args)...));
    }

    // Calls a table entry; a failing status throws (a failed library call).
    template <class Status, class... Params, class... Args>
    void Call(std::string_view what, Status (*Table::*entry)(Table*, Params...), Args&&... args) {
        const std::uint32_t status = Try(what, entry, std::forward<Args>(args)...);
        if (status != 0) throw Fail(ExitCode::kLibraryCall, what, status);
    }

    // The Failure for a failing status: what srvfw was doing, the library's
    // last-error text (fetched now, so call this right after the failure).
    Failure Fail(ExitCode code, std::string_view what, std::uint32_t status) {
        return library_frame::FailureWithReason(code, what, status, TakeLastError(),
                                                mImbDriver.get(), Traits::kNoun);
    }

    // The library's last-error text in UTF-8, empty when it has none. Asking
    // also forgets it: the library keeps a text until it is fetched.
    std::string TakeLastError() {
        // One library hands the text out through a pointer to the caller's
        // pointer, another through a reference to it.
        const wchar_t* text = nullptr;
        std::uint32_t status = 0;
        if constexpr (std::is_invocable_v<decltype(Table::GetLastErrorMessage), Table*,
                                          const wchar_t**>) {
            status = Try("GetLastErrorMessage", &Table::GetLastErrorMessage, &text);
        } else {
            wchar_t* handedOut = nullptr;
            status = Try("GetLastErrorMessage", &Table::GetLastErrorMessage, handedOut);
            text = handedOut;
        }
        return status == 0 ? ToUtf8(text) : std::string();
    }

  private:
    static constexpr bool kHasTexts = Traits::kStringFile != nullptr;
    static constexpr bool kTakesCallbacks = [] {
        if constexpr (requires { Traits::kTakesCallbacks; }) {
            return Traits::kTakesCallbacks;
        } else {
            return true;
        }
    }();

    static constexpr bool kExplainsFailedStart = [] {
        if constexpr (requires { Traits::kExplainsFailedStart; }) {
            return Traits::kExplainsFailedStart;
        } else {
            return false;
        }
    }();

    // A library without string files has one language: asking for another
    // is a mistake the user hears of before anything is loaded.
    static void RefuseLocaleWithoutTexts(const FrameOptions& options) {
        if (!kHasTexts && options.language) {
            throw Failure(ExitCode::kUsage, "--locale has no use with the " +
                                                std::string(Traits::kNoun) +
                                                ", which has no texts in other languages");
        }
    }

    void Start(const LibraryPlaces& places, const FrameOptions& options) {
        if constexpr (kHasTexts) {
            library_frame::CheckStringFile(places, options, Traits::kStringFile);
        }
        {
            // The library opens its string file relative to the current
            // directory; one without texts needs no resource folder.
            std::optional<ScopedDirectory> resources;
            if constexpr (kHasTexts) resources.emplace(places.resources);
            const std::uint32_t status = std::apply(
                [this](auto&&... arguments) {
                    return this->Try("Initialize", &Table::Initialize, arguments...);
                },
                Traits::InitializeArguments(options));
            if (status != 0) {
                const std::string what = "the " + std::string(Traits::kNoun) + " " +
                                         mLibrary.File().string() + " did not start";
                // Most libraries, not initialized, have no message to give.
                if constexpr (kExplainsFailedStart) {
                    Failure failure = Fail(ExitCode::kNotLoadable, what, status);
                    // Such a library may keep what its failed start made
                    // (librask its object); DeInitialize frees it.
                    Try("DeInitialize", &Table::DeInitialize);
                    throw failure;
                }
                throw Failure(ExitCode::kNotLoadable, what, status);
            }
            if constexpr (kHasTexts) {
                if (options.language) SetLocale(options);
            }
        }
        try {
            // A library without a debug log has no level to set.
            if constexpr (requires { &Table::SetDebugLevel; }) {
                Call("setting the debug level", &Table::SetDebugLevel, options.debugLevel);
            }
            if constexpr (kTakesCallbacks) {
                // One library takes the callback by reference to the caller's
                // pointer, which must then outlive the library's use of it.
                static PROGRESS_CALLBACK progress = &ProgressCallback;
                Call("setting the progress callback", &Table::SetProgressCallback, progress);
                Call("setting the display callback", &Table::SetDisplayCallback, DisplayCallback());
            }
        } catch (...) {
            Stop();
            throw;
        }
    }

    void SetLocale(const FrameOptions& options) {
        const std::string language = *options.language;
        const std::string country = options.country.value_or("us");
        // Held here: a library may take the texts as not const.
        std::wstring wideLanguage = library_frame::Wide(language);
        std::wstring wideCountry = library_frame::Wide(country);
        const std::uint32_t status = Try("SetLanguageLocale", &Table::SetLanguageLocale,
                                         wideLanguage.data(), wideCountry.data());
        if (status != 0) {
            const Failure failure = Fail(
                ExitCode::kNotLoadable, "setting the language " + language + "-" + country, status);
            Stop();
            throw failure;
        }
    }

    // Where the library's display texts go: most libraries display only
    // what goes wrong without stopping them, and their traits name no
    // display of their own.
    static auto DisplayCallback() {
        if constexpr (requires { &Traits::Display; }) {
            return &Traits::Display;
        } else {
            return &library_frame::ShowLibraryWarning;
        }
    }

    // DeInitialize, also from the destructor.
    void Stop() noexcept {
        if (mTable->DeInitialize != nullptr) mTable->DeInitialize(mTable);
    }

    // Before the library, which takes its IMB driver functions from it.
    std::unique_ptr<ImbDriverLibrary> mImbDriver;
    SharedLibrary mLibrary;
    Table* mTable = nullptr;
};

}  // namespace srvfw

#endif
