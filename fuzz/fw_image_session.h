// What the image reader's fuzz targets share: the compiled string table in
// the library's slot, a scratch file for each input, and the checks every
// processed image must pass. Any check that fails aborts, which the fuzzer
// reports.
#ifndef SRVFW_FUZZ_FW_IMAGE_SESSION_H
#define SRVFW_FUZZ_FW_IMAGE_SESSION_H

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "bmc/debug_log.h"
#include "bmc/string_resource.h"
#include "duvane/duvane_messages.h"
#include "duvane/duvane_status.h"
#include "duvane/fw_file.h"

namespace fuzz_fw {

using namespace DirectFwUpdate_Private;

inline void Check(bool holds) {
    if (!holds) std::abort();
}

inline std::string g_directory;
inline std::wstring g_inputPath;

inline void StartSession(const char* inputName) {
    // Every refused input would add a line to the debug log.
    SetLibDebugLevel(0);
    gp_StringResource = std::make_unique<CStringResource>();
    Check(gp_StringResource->Initialize(L"" DUVANE_STRING_FILE, 0) == STR_SUCCESS);
    Check(gp_StringResource->CacheAll() == STR_SUCCESS);
    char directory[] = "/tmp/fw-image-fuzz-XXXXXX";
    Check(::mkdtemp(directory) != nullptr);
    g_directory = directory;
    g_inputPath = (std::filesystem::path(g_directory) / inputName).wstring();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_directory, ignored);
    });
}

inline void WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* input = std::fopen(std::filesystem::path(g_inputPath).c_str(), "wb");
    Check(input != nullptr);
    Check(std::fwrite(data, 1, size, input) == size);
    Check(std::fclose(input) == 0);
}

// Processes the input file; a refusal must leave a text behind.
inline int Process(CfwFile& file) {
    g_pszErrorMessage.fill(L'\0');
    const int status = file.ProcessFile(g_inputPath.c_str(), L"input");
    if (status != DUVANE_SUCCESS)
        Check(g_pszErrorMessage[0] != L'\0' || status == DUVANE_IMAGE_FORMAT);
    return status;
}

template <std::size_t N>
bool Holds(std::span<const std::uint8_t, N> block) {
    alignas(unsigned short) std::array<std::uint8_t, N> copy{};
    std::copy(block.begin(), block.end(), copy.begin());
    return CfwFile::VerifyChecksum(reinterpret_cast<const unsigned short*>(copy.data()),
                                   static_cast<int>(N));
}

// What holds for every image a reader accepted: the blocks kept are whole
// and sum as they must, the RMM area follows the EFS block, the texts end
// inside their buffers, and the record counts add up to no more records
// than there are.
inline void CheckAccepted(CfwFile& file) {
    if (file.HasArea(BMC_FW_AREA_BOOT)) Check(Holds(file.BootInfoBlock()));
    if (file.HasArea(BMC_FW_AREA_EFS)) Check(Holds(file.EfsBlock()));
    Check(file.HasArea(BMC_FW_AREA_RMM) == file.HasArea(BMC_FW_AREA_EFS));
    unsigned char address = 0;
    file.GetDeviceAddress(address);
    // A BootInfo block names its device, and 0 names none; without one, an
    // EFS block makes the image the BMC's.
    if (file.HasArea(BMC_FW_AREA_BOOT)) Check(address != 0);
    if (!file.HasArea(BMC_FW_AREA_BOOT) && file.HasArea(BMC_FW_AREA_EFS)) {
        Check(address == DUVANE_DEVICE_BMC);
    }
    wchar_t* text = nullptr;
    file.GetDeviceName(text);
    Check(text != nullptr && std::wcslen(text) <= 5);
    file.GetBIOSPlatformId(text);
    Check(text != nullptr && std::wcslen(text) <= 16);
    for (const EFWUPDATE_DEVICE_AREA area :
         {EFWUPDATE_DEVICE_AREA_OPCODE, EFWUPDATE_DEVICE_AREA_PIA, EFWUPDATE_DEVICE_AREA_BOOT,
          EFWUPDATE_DEVICE_AREA_EFS}) {
        file.SelectDeviceArea(area);
        file.GetVersion(text);
        if (text != nullptr) Check(std::wcslen(text) <= DUVANE_VERSION_LENGTH);
    }
    unsigned counted = 0;
    for (int area = 0; area < BMC_FW_AREA_COUNT; ++area) {
        if (area != BMC_FW_AREA_RMM) counted += file.RecordCount(static_cast<BmcFwArea>(area));
    }
    Check(counted <= file.Records().size());
}

}  // namespace fuzz_fw

#endif
