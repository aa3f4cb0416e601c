// Feeds arbitrary bytes to the binary reader as an image file and finds the
// information blocks in it, on a platform that takes the shorter PIA and on
// one that does not, and reads it once more as a management engine's image.
//
// The buffer must be the input byte for byte; an accepted image must pass
// the session's checks; the engine's image is one boot range over all of
// it. Any difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fw_image_session.h"

namespace {

using namespace fuzz_fw;

void CheckBuffer(const CfwFile& file, const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> buffer = file.GetUpdateBuffer();
    Check(buffer.size() == size && std::equal(buffer.begin(), buffer.end(), data));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartSession("input.bin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    for (const int platform : {0, 10}) {
        CfwFile file(FW_FILE_BINARY, platform);
        const int status = Process(file);
        CheckBuffer(file, data, size);
        if (status == DUVANE_SUCCESS) CheckAccepted(file);
    }
    CfwFile engine(FW_FILE_ME_BINARY, 0);
    const int status = Process(engine);
    Check(status == (size == 0 ? DUVANE_IMAGE_FORMAT : DUVANE_SUCCESS));
    if (status == DUVANE_SUCCESS) {
        CheckAccepted(engine);
        Check(engine.Range(BMC_FW_AREA_BOOT).start == 0 &&
              engine.Range(BMC_FW_AREA_BOOT).end == size - 1);
        Check(!engine.HasArea(BMC_FW_AREA_BOOT));
    }
    return 0;
}
