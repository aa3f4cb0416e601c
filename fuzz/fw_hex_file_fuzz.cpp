// Feeds arbitrary bytes to the hex record reader as the contents of an
// image file, then finds the information blocks in what it placed.
//
// A file that loads must hold its records in the buffer: walked again with
// the address rules, every data record's bytes stand at its address, inside
// the buffer, and the list ends with its end-of-file record. A refused file
// must say why. Any difference aborts.
#include <cstddef>
#include <cstdint>

#include "duvane/fw_hex_address.h"
#include "fuzz/fw_image_session.h"

namespace {

using namespace fuzz_fw;

void CheckRecordsPlaced(const CfwFile& file) {
    const std::vector<VARNOHEXREC>& records = file.Records();
    Check(!records.empty() && records.back().recordType == kHexEndOfFileRecord);
    const std::span<const std::uint8_t> buffer = file.GetUpdateBuffer();
    Check(buffer.size() >= 0x200000);
    std::uint32_t base = 0;
    for (const VARNOHEXREC& record : records) {
        Check(record.byteCount <= record.data.size());
        if (record.recordType != kHexDataRecord) {
            SetsBaseAddress(record, base);
            continue;
        }
        const std::uint64_t first = DataAddress(record, base);
        Check(first + record.byteCount <= buffer.size());
        for (std::size_t i = 0; i < record.byteCount; ++i) {
            Check(buffer[static_cast<std::size_t>(first) + i] == record.data[i]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartSession("input.hex");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    // Platform 10 takes both PIA types.
    CfwFile file(FW_FILE_HEX, 10);
    if (Process(file) != DUVANE_SUCCESS) return 0;
    CheckRecordsPlaced(file);
    CheckAccepted(file);
    return 0;
}
