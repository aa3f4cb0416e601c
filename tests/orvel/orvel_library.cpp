#include "orvel_library.h"

#include <dlfcn.h>

#include "sim/bmc/fru/fru_storage.h"
#include "sim/core/machine.h"

namespace orvel_test {

namespace {

void* Library() {
    static void* library = dlopen(LIBORVEL_PATH, RTLD_NOW);
    return library;
}

}  // namespace

void* Symbol(const char* name) {
    void* library = Library();
    return library != nullptr ? dlsym(library, name) : nullptr;
}

EFI_FRU_INTERFACE& Table() {
    void* entry = Symbol("GetOrvelInterface");
    if (entry == nullptr) throw std::runtime_error(std::string("liborvel: ") + dlerror());
    return *reinterpret_cast<GET_ORVEL_INTERFACE>(entry)();
}

void OrvelLibraryTest::SetUp() {
    mPreviousDirectory = std::filesystem::current_path();
    std::filesystem::current_path(mScratch.Path());
}

void OrvelLibraryTest::TearDown() {
    t.DeInitialize(&t);
    std::filesystem::current_path(mPreviousDirectory);
}

void OrvelLibraryTest::Boot(const sim::Settings& settings, int platform) {
    sim::ResetMachine(settings);
    std::filesystem::current_path(ORVEL_RESOURCE_DIR);
    const std::uint32_t status = t.Initialize(&t, platform);
    std::filesystem::current_path(mScratch.Path());
    ASSERT_EQ(status, 0u);
    TakeAccesses();
}

void OrvelLibraryTest::FillDevice(const std::string& device, const Bytes& image) {
    sim::fru::FruDevice* found = sim::TheMachine().Find<sim::FruStorage>()->Find(device);
    ASSERT_NE(found, nullptr) << device;
    Bytes cells(found->Size(), 0xFF);
    std::copy(image.begin(), image.end(), cells.begin());
    ASSERT_TRUE(found->Fill(cells));
}

Bytes OrvelLibraryTest::DeviceContents(const std::string& device) {
    const auto contents = sim::TheMachine().Find<sim::FruStorage>()->Find(device)->Contents();
    return {contents.begin(), contents.end()};
}

std::vector<sim::fru::LoggedAccess> OrvelLibraryTest::TakeAccesses(const std::string& device) {
    sim::RequestLog& log = sim::TheMachine().Log();
    auto accesses = sim::fru::LoggedAccesses(log, device);
    log.Clear();
    return accesses;
}

std::wstring OrvelLibraryTest::LastError() {
    const wchar_t* text = nullptr;
    EXPECT_EQ(t.GetLastErrorMessage(&t, &text), 0u);
    return text != nullptr ? text : L"";
}

void OrvelLibraryTest::SelectField(FRU_LIST list, std::uint32_t fru, FRU_AREA area,
                                   FRU_FIELD field) {
    ASSERT_EQ(t.SelectList(&t, list), 0u);
    ASSERT_EQ(t.SelectFru(&t, fru), 0u);
    ASSERT_EQ(t.SelectAreaEnum(&t, area), 0u);
    ASSERT_EQ(t.SelectFieldEnum(&t, field), 0u);
}

std::wstring OrvelLibraryTest::FieldText() {
    const wchar_t* text = nullptr;
    EXPECT_EQ(t.GetFieldStringValue(&t, &text), 0u);
    return text != nullptr ? text : L"";
}

}  // namespace orvel_test
