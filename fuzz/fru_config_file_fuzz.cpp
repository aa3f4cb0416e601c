// Feeds arbitrary bytes to the FRU configuration file reader as the
// contents of a file.
//
// A file that reads must save and read again into the same FRU: the same
// common header bytes, area images, custom fields, multi-records and
// locator. Any difference aborts. The fuzzer runs as platform 3 so that the
// mBMC keys are read too; the writer saves an mBMC device as a logical FRU
// device without its mBMC sizes, and the comparison expects exactly that.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "bmc/debug_log.h"
#include "orvel/fru.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"

namespace {

using namespace Orvel_Private;
using Bytes = std::vector<std::uint8_t>;

// The files live in a private directory, removed when the fuzzer ends.
std::string g_directory;
std::string g_inputPath;
std::string g_savedPath;

void RemoveDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(g_directory, ignored);
}

void Check(bool holds) {
    if (!holds) std::abort();
}

Bytes Copy(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

std::vector<Bytes> CustomFields(const CFruInfoArea& area) {
    std::vector<Bytes> fields;
    for (const CFruCustomField& field : area.GetCustomFields()) {
        Bytes bytes{field.GetTypeLength()};
        bytes.insert(bytes.end(), field.GetData().begin(), field.GetData().end());
        fields.push_back(bytes);
    }
    return fields;
}

Bytes MultiRecordBytes(const CFru& fru) {
    Bytes bytes(fru.GetMultiRecAreaLength());
    std::uint32_t written = 0;
    Check(fru.SerializeMultiRecArea(bytes, written) == ORVEL_SUCCESS);
    Check(written == bytes.size());
    return bytes;
}

template <typename Area>
void CheckSameArea(Area& first, Area& again) {
    Check(Copy(again.GetData()) == Copy(first.GetData()));
    Check(CustomFields(again) == CustomFields(first));
}

void CheckSameLocator(const FRU_LOCATOR& first, const FRU_LOCATOR& again) {
    const bool mbmc = first.mType == FRU_NVS_MBMC;
    const FRU_LOCATOR fresh;
    Check(again.mType == (mbmc ? FRU_NVS_IMBDEVICE : first.mType));
    Check(again.mMbmcSizeAddress == (mbmc ? fresh.mMbmcSizeAddress : first.mMbmcSizeAddress));
    Check(again.mMbmcSizeData == (mbmc ? fresh.mMbmcSizeData : first.mMbmcSizeData));
    Check(again.mFruDeviceId == first.mFruDeviceId);
    Check(again.mControllerAddress == first.mControllerAddress);
    Check(again.mLun == first.mLun);
    Check(again.mBus == first.mBus);
    Check(again.mSlaveAddress == first.mSlaveAddress);
    Check(again.mName == first.mName);
}

bool WriteInput(std::span<const std::uint8_t> bytes) {
    std::FILE* file = std::fopen(g_inputPath.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every refused input would add a line to the debug log.
    LIBDBG_DEBUG_LEVEL = 0;
    g_fdPlatform = 3;
    char directory[] = "/tmp/fru-config-fuzz-XXXXXX";
    if (::mkdtemp(directory) == nullptr) std::abort();
    g_directory = directory;
    g_inputPath = g_directory + "/input.fru";
    g_savedPath = g_directory + "/saved.fru";
    std::atexit(RemoveDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Check(WriteInput({data, size}));
    CFru first;
    if (first.ReadFRUFromFile(g_inputPath.c_str()) != ORVEL_SUCCESS) return 0;

    Check(first.SaveFRUToFile(g_savedPath.c_str()) == ORVEL_SUCCESS);
    CFru again;
    Check(again.ReadFRUFromFile(g_savedPath.c_str()) == ORVEL_SUCCESS);

    Check(Copy(again.Header().GetData()) == Copy(first.Header().GetData()));
    Check(Copy(again.InternalUseArea().GetData()) == Copy(first.InternalUseArea().GetData()));
    CheckSameArea(first.ChassisInfoArea(), again.ChassisInfoArea());
    CheckSameArea(first.BoardInfoArea(), again.BoardInfoArea());
    CheckSameArea(first.ProductInfoArea(), again.ProductInfoArea());
    Check(MultiRecordBytes(again) == MultiRecordBytes(first));
    CheckSameLocator(first.GetDevLocator(), again.GetDevLocator());
    return 0;
}
