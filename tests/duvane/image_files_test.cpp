// Reading image files as a whole: binary and management-engine images,
// files that cannot be opened or read, and running out of memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"
#include "image_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define DUVANE_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DUVANE_TEST_SANITIZED 1
#endif
#endif

namespace duvane_test {
namespace {

using namespace DirectFwUpdate_Private;

class ImageFilesTest : public ImageTest {};

TEST_F(ImageFilesTest, ABinaryImageIsTheBufferByteForByte) {
    Bytes image(1000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    CfwFile file(FW_FILE_BINARY, 0);
    ASSERT_EQ(file.ReadBinFile(WriteImage("image.bin", image).c_str(), nullptr), DUVANE_SUCCESS);
    const std::span<const std::uint8_t> buffer = file.GetUpdateBuffer();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.end()), image);
    EXPECT_EQ(file.CalculateNoOfLines(), DUVANE_SUCCESS);
    EXPECT_EQ(file.RecordCount(BMC_FW_AREA_OPCODE), 0u);
}

TEST_F(ImageFilesTest, AManagementEngineImageIsOneBootRangeWithoutBlocksOrVersions) {
    // Blocks inside an engine's image are the engine's own, not searched.
    Bytes image = ErasedImage(0x3000);
    Place(image, 0x100, BootInfoBlock());
    Place(image, 0x200, OpCodeInfoBlock());
    Place(image, 0x400, EfsBlock());
    CfwFile file(FW_FILE_ME_BINARY, 0);
    ASSERT_EQ(file.ProcessFile(WriteImage("me.bin", image).c_str(), L"me.bin"), DUVANE_SUCCESS);
    wchar_t* name = nullptr;
    file.GetDeviceName(name);
    EXPECT_STREQ(name, L"ME");
    unsigned char address = 0xFF;
    file.GetDeviceAddress(address);
    EXPECT_EQ(address, 0);
    // Both ends are included: the last byte is at the length less one.
    EXPECT_EQ(file.Range(BMC_FW_AREA_BOOT).start, 0u);
    EXPECT_EQ(file.Range(BMC_FW_AREA_BOOT).end, 0x2FFFu);
    for (const EFWUPDATE_DEVICE_AREA area :
         {EFWUPDATE_DEVICE_AREA_OPCODE, EFWUPDATE_DEVICE_AREA_PIA, EFWUPDATE_DEVICE_AREA_BOOT,
          EFWUPDATE_DEVICE_AREA_EFS, EFWUPDATE_DEVICE_AREA_RMM}) {
        file.SelectDeviceArea(area);
        wchar_t unset[] = L"unset";
        wchar_t* version = unset;
        file.GetVersion(version);
        EXPECT_EQ(version, nullptr) << "area " << area;
    }
    EXPECT_FALSE(file.HasArea(BMC_FW_AREA_EFS));
}

TEST_F(ImageFilesTest, AnEmptyManagementEngineImageIsRefused) {
    CfwFile file(FW_FILE_ME_BINARY, 0);
    EXPECT_EQ(file.ProcessFile(WriteImage("me.bin", std::string()).c_str(), L"me.bin"),
              DUVANE_IMAGE_FORMAT);
    EXPECT_EQ(LastError(), L"The management engine image me.bin is empty.");
}

// An empty binary image has no blocks, which the BMC's rules take as an
// image for no particular device.
TEST_F(ImageFilesTest, AnEmptyBinaryImageHasNoDevice) {
    CfwFile file(FW_FILE_BINARY, 0);
    ASSERT_EQ(file.ProcessFile(WriteImage("empty.bin", std::string()).c_str(), nullptr),
              DUVANE_SUCCESS);
    unsigned char address = 0xFF;
    file.GetDeviceAddress(address);
    EXPECT_EQ(address, 0);
    EXPECT_TRUE(file.GetUpdateBuffer().empty());
}

struct FileFailure {
    const char* name;
    FwFileType type;
    bool directory;
    int status;
    std::wstring message;
};

class FileFailureTest : public ImageTest, public ::testing::WithParamInterface<FileFailure> {};

TEST_P(FileFailureTest, NamesTheFile) {
    const FileFailure& failure = GetParam();
    const std::filesystem::path path = mDir / "image";
    if (failure.directory) std::filesystem::create_directory(path);
    CfwFile file(failure.type, 0);
    EXPECT_EQ(file.ProcessFile(path.wstring().c_str(), L"image"), failure.status);
    EXPECT_EQ(LastError(), failure.message);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileFailureTest,
    ::testing::Values(FileFailure{"MissingHex", FW_FILE_HEX, false, DUVANE_FILE_OPEN_FAILED,
                                  L"Cannot open the firmware image image."},
                      FileFailure{"MissingBinary", FW_FILE_BINARY, false, DUVANE_FILE_OPEN_FAILED,
                                  L"Cannot open the firmware image image."},
                      FileFailure{"MissingEngineImage", FW_FILE_ME_BINARY, false,
                                  DUVANE_FILE_OPEN_FAILED,
                                  L"Cannot open the firmware image image."},
                      FileFailure{"DirectoryAsHex", FW_FILE_HEX, true, DUVANE_FILE_READ_FAILED,
                                  L"Cannot read the firmware image image."},
                      FileFailure{"DirectoryAsBinary", FW_FILE_BINARY, true,
                                  DUVANE_FILE_READ_FAILED,
                                  L"Cannot read the firmware image image."}),
    [](const auto& info) { return std::string(info.param.name); });

// 0 when the read reports running out of memory with its text.
int ReadWithOneGiB(FwFileType type, const std::filesystem::path& path) {
    constexpr rlim_t kOneGiB = rlim_t{1} << 30;
    const rlimit limit{kOneGiB, kOneGiB};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) return 2;
    CfwFile file(type, 0);
    const int status = file.ProcessFile(path.wstring().c_str(), L"huge.img");
    const bool told = std::wstring(DirectFwUpdate_Private::g_pszErrorMessage.data()) ==
                      L"Out of memory while loading the firmware image.";
    return status == DUVANE_OUT_OF_MEMORY && told ? 0 : 1;
}

class OutOfMemoryTest : public ImageTest, public ::testing::WithParamInterface<FwFileType> {};

// A file larger than the process may map: the buffer cannot be had, and
// the reader says so instead of dying. The file is sparse, so it costs no
// disk, and the limit is set in the child the death test forks.
TEST_P(OutOfMemoryTest, ABufferThatCannotBeHadIsOutOfMemory) {
#ifdef DUVANE_TEST_SANITIZED
    GTEST_SKIP() << "the sanitizer's allocator aborts on a failed allocation instead of throwing";
#else
    const std::filesystem::path path = mDir / "huge.img";
    { std::ofstream(path, std::ios::binary) << ""; }
    constexpr std::uint64_t kThreeGiB = std::uint64_t{3} << 30;
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kThreeGiB)), 0);
    EXPECT_EXIT(std::_Exit(ReadWithOneGiB(GetParam(), path)), ::testing::ExitedWithCode(0), "");
#endif
}

INSTANTIATE_TEST_SUITE_P(Types, OutOfMemoryTest,
                         ::testing::Values(FW_FILE_HEX, FW_FILE_BINARY, FW_FILE_ME_BINARY));

}  // namespace
}  // namespace duvane_test
