// The record path's writer: the hex file's short records gathered into
// blocks of the controller's block size, so that an image of 16-byte
// records does not cost one request per record.
#include "duvane/duvane_engine.h"
#include "duvane/duvane_status.h"

namespace DirectFwUpdate_Private {

int CDuvane::FlushWriter(std::uint8_t device) {
    int status = DUVANE_SUCCESS;
    if (!mWriterBuffer.empty()) {
        status = WriteLowlvl(device, mWriterSegment, mWriterOffset, mWriterBuffer);
    }
    mWriterBuffer.clear();
    mWriterSegment = kNoSegment;
    mWriterOffset = kNoSegment;
    return status;
}

int CDuvane::Write(std::uint8_t device, std::uint16_t segment, std::uint16_t offset,
                   std::span<const std::uint8_t> bytes) {
    // The front-panel controller takes each record as it comes.
    if (device == DUVANE_DEVICE_FRONT_PANEL) {
        if (segment == kNoSegment || bytes.empty()) return DUVANE_SUCCESS;
        return WriteLowlvl(device, segment, offset, bytes);
    }
    if (segment == kNoSegment && bytes.empty()) return FlushWriter(device);
    // A block is one run of addresses: a new segment, or a record that does
    // not continue the gathered bytes (a gap left 0xFF in the file), starts
    // a new one.
    const bool continues =
        segment == mWriterSegment && std::size_t{offset} == mWriterOffset + mWriterBuffer.size();
    if (!mWriterBuffer.empty() && !continues) {
        if (const int status = FlushWriter(device)) return status;
    }
    if (mWriterBuffer.empty()) {
        mWriterSegment = segment;
        mWriterOffset = offset;
    }
    mWriterBuffer.insert(mWriterBuffer.end(), bytes.begin(), bytes.end());
    while (mWriterBuffer.size() >= mBlockSize) {
        const std::span<const std::uint8_t> block(mWriterBuffer.data(), mBlockSize);
        if (const int status = WriteLowlvl(device, mWriterSegment, mWriterOffset, block)) {
            mWriterBuffer.clear();
            return status;
        }
        mWriterBuffer.erase(mWriterBuffer.begin(), mWriterBuffer.begin() + mBlockSize);
        mWriterOffset = static_cast<std::uint16_t>(mWriterOffset + mBlockSize);
    }
    return DUVANE_SUCCESS;
}

}  // namespace DirectFwUpdate_Private
