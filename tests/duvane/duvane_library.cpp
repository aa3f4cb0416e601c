#include "tests/duvane/duvane_library.h"

#include <dlfcn.h>

#include <stdexcept>

#include "sim/core/machine.h"
#include "sim/core/settings.h"

namespace duvane_test {

std::vector<Progress> DuvaneLibraryTest::gProgress;
std::wstring DuvaneLibraryTest::gDisplayed;

_EFI_DUVANE_INTERFACE& Table() {
    static void* library = dlopen(LIBDUVANE_PATH, RTLD_NOW);
    void* entry = library != nullptr ? dlsym(library, "GetDirectFwUpdateInterface") : nullptr;
    if (entry == nullptr) throw std::runtime_error(std::string("libduvane: ") + dlerror());
    return *reinterpret_cast<_EFI_DUVANE_INTERFACE* (*)()>(entry)();
}

void DuvaneLibraryTest::SetUp() {
    mPreviousDirectory = std::filesystem::current_path();
    std::filesystem::current_path(mScratch.Path());
    gProgress.clear();
    gDisplayed.clear();
}

void DuvaneLibraryTest::TearDown() {
    t.DeInitialize(&t);
    std::filesystem::current_path(mPreviousDirectory);
}

void DuvaneLibraryTest::Boot(const std::map<std::string, std::string>& settings, int platform) {
    sim::Settings all;
    for (const auto& [key, value] : settings) all.Set(key, value);
    sim::ResetMachine(all);
    std::filesystem::current_path(DUVANE_RESOURCE_DIR);
    const int status = t.Initialize(&t, platform);
    std::filesystem::current_path(mScratch.Path());
    ASSERT_EQ(status, 0) << std::hex << status;
    PROGRESS_CALLBACK progress = RecordProgress;
    ASSERT_EQ(t.SetProgressCallback(&t, progress), 0);
    ASSERT_EQ(t.SetDisplayCallback(&t, RecordDisplay), 0);
    sim::TheMachine().Log().Clear();
}

int DuvaneLibraryTest::Load(const Bytes& image, FwFileType type, const std::string& name) {
    const std::filesystem::path path = mScratch.Path() / name;
    test_support::WriteBytes(path, image);
    return t.LoadConfigurationFromFile(&t, path.wstring().c_str(), nullptr, type);
}

std::wstring DuvaneLibraryTest::LastError() {
    wchar_t* text = nullptr;
    EXPECT_EQ(t.GetLastErrorMessage(&t, text), 0);
    return text != nullptr ? text : L"(null)";
}

std::wstring DuvaneLibraryTest::Text(unsigned index) {
    if (mTexts == nullptr) {
        mTexts = std::make_unique<CStringResource>();
        const std::wstring path =
            std::filesystem::path(DUVANE_RESOURCE_DIR "/enus/duvane/str/Duvane.str").wstring();
        EXPECT_EQ(mTexts->Initialize(path.c_str(), 0), 0);
    }
    const wchar_t* text = mTexts->GetString(index);
    return text != nullptr ? text : L"(missing)";
}

std::vector<sim::vendor::LoggedRequest> DuvaneLibraryTest::TakeVendor(
    const std::string& component, const std::string& operation) {
    return sim::vendor::LoggedRequests(sim::TheMachine().Log(), component, operation);
}

std::string DuvaneLibraryTest::VendorOperations(const std::string& component) {
    std::string operations;
    for (const auto& request : TakeVendor(component)) {
        operations += (operations.empty() ? "" : " ") + request.operation;
    }
    return operations;
}

unsigned DuvaneLibraryTest::RecordProgress(PROGRESS_CALLBACK_TYPE type, const wchar_t* text,
                                           unsigned percent, unsigned) {
    gProgress.push_back({type, text != nullptr ? text : L"", percent});
    return 0;
}

}  // namespace duvane_test
