// Feeds arbitrary bytes to the SDR file reader as the contents of a file.
//
// The records of a file that loads must save and load again into the same
// records: the same types in the same order, the same raw bytes and the
// same tags. Records that do not decode are kept by a load but cannot be
// written, nor can a tag too long for a line; the save leaves such records
// out, and the second load must give the others alone. Any difference
// aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/sdr_file_session.h"

namespace {

using namespace fuzz_sdr;

std::string g_inputPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartSession();
    g_inputPath = PathInSession("input.sdr");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* input = std::fopen(g_inputPath.c_str(), "wb");
    Check(input != nullptr);
    Check(std::fwrite(data, 1, size, input) == size);
    Check(std::fclose(input) == 0);

    SdrRecordLists first;
    if (!LoadFile(g_inputPath, first)) return 0;
    SdrRecordLists again;
    Check(LoadFile(SaveWritable(first), again));
    Check(RecordsOf(again) == RecordsOf(first, true));
    return 0;
}
