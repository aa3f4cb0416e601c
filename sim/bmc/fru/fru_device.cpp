#include "sim/bmc/fru/fru_device.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "sim/bmc/fru/fru_image_builder.h"
#include "sim/bmc/ipmi.h"

namespace sim::fru {

namespace {

constexpr std::uint8_t kErased = 0xFF;
constexpr std::uint8_t kWriteProtectedOffset = 0x80;  // Write FRU Data

std::vector<std::uint8_t> InitialContents(const DeviceConfig& config) {
    switch (config.initial) {
        case Initial::kZero:
            return std::vector<std::uint8_t>(config.size, 0);
        case Initial::kErased:
            break;
        case Initial::kSample:
            // A part too small for the factory's FRU leaves it erased.
            try {
                std::vector<std::uint8_t> cells = SampleFru(config.name, config.size).Build();
                cells.resize(config.size, kErased);
                return cells;
            } catch (const std::invalid_argument&) {
            }
            break;
    }
    return std::vector<std::uint8_t>(config.size, kErased);
}

std::string Hex16(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04Xh", value);
    return text;
}

}  // namespace

FruDevice::FruDevice(DeviceConfig config)
    : mConfig(std::move(config)), mCells(InitialContents(mConfig)) {}

bool FruDevice::Fill(std::span<const std::uint8_t> image) {
    if (image.size() > mCells.size()) return false;
    std::copy(image.begin(), image.end(), mCells.begin());
    std::fill(mCells.begin() + static_cast<std::ptrdiff_t>(image.size()), mCells.end(), kErased);
    return true;
}

std::optional<FruDevice::Answer> FruDevice::Busy(Direction direction) {
    CodedFault& busy = direction == Direction::kRead ? mConfig.readBusy : mConfig.writeBusy;
    if (!busy.times.Strike()) return std::nullopt;
    return Answer{static_cast<std::uint8_t>(busy.code), "busy"};
}

std::optional<FruDevice::Answer> FruDevice::OverLimit(Direction direction,
                                                      std::uint32_t length) const {
    if (direction == Direction::kRead) {
        if (length <= mConfig.maxRead || mConfig.shortReads) return std::nullopt;
        return Answer{mConfig.readLimitCode,
                      "read limit " + std::to_string(mConfig.maxRead) + " bytes"};
    }
    if (length <= mConfig.maxWrite) return std::nullopt;
    return Answer{mConfig.writeLimitCode,
                  "write limit " + std::to_string(mConfig.maxWrite) + " bytes"};
}

std::optional<FruDevice::Answer> FruDevice::Refused(Direction direction, std::uint32_t offset,
                                                    std::uint32_t length) const {
    // Cell by cell, as the device's address counter runs; a transfer is at
    // most 255 bytes.
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint32_t cell = CellOf(direction, offset, i);
        if (direction == Direction::kWrite) {
            for (const ByteRange& range : mConfig.writeProtected) {
                if (range.Overlaps(cell, 1)) {
                    return Answer{
                        mConfig.IsMemory() ? std::uint8_t{ipmi::kNak} : kWriteProtectedOffset,
                        "write-protected"};
                }
            }
        }
        const auto& failing = direction == Direction::kRead ? mConfig.readFail : mConfig.writeFail;
        for (const OffsetFault& fault : failing) {
            if (fault.offset == cell) return Answer{fault.code, "failing cell at " + Hex16(cell)};
        }
    }
    return std::nullopt;
}

bool FruDevice::LosesWrite(std::uint32_t offset, std::uint32_t length) const {
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint32_t cell = CellOf(Direction::kWrite, offset, i);
        for (const ByteRange& range : mConfig.lostWrite) {
            if (range.Overlaps(cell, 1)) return true;
        }
    }
    return false;
}

bool FruDevice::StopsController(std::uint32_t offset, std::uint32_t length) const {
    return mConfig.silentWrite && offset <= *mConfig.silentWrite &&
           *mConfig.silentWrite - offset < length;
}

std::optional<std::uint32_t> FruDevice::ShortensWrite(std::uint32_t offset, std::uint32_t length) {
    for (ShortWrite& fault : mConfig.shortWrite) {
        if (fault.offset < offset || fault.offset - offset >= length) continue;
        const std::uint32_t kept = fault.keep.value_or(fault.offset - offset);
        // A setting that keeps the whole write shortens nothing and is not
        // used up by it.
        if (kept < length && fault.times.Strike()) return kept;
    }
    return std::nullopt;
}

const WriteSignal* FruDevice::SignalsWrite(std::uint32_t offset, std::uint32_t length) {
    for (WriteSignal& fault : mConfig.writeSignals) {
        if (fault.offset >= offset && fault.offset - offset < length && fault.times.Strike()) {
            return &fault;
        }
    }
    return nullptr;
}

std::uint32_t FruDevice::CellOf(Direction direction, std::uint32_t offset, std::uint32_t i) const {
    // The address counter wraps at the end of the part; during a page
    // write it rolls over inside its page.
    const std::uint32_t page = direction == Direction::kWrite ? mConfig.page : 0;
    const std::uint32_t cell =
        page == 0 ? offset + i : offset - offset % page + (offset % page + i) % page;
    return cell % mConfig.size;
}

std::vector<std::uint8_t> FruDevice::Read(std::uint32_t offset, std::uint32_t count) const {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 0; i < count; ++i)
        bytes.push_back(mCells[CellOf(Direction::kRead, offset, i)]);
    return bytes;
}

std::uint32_t FruDevice::Write(std::uint32_t offset, std::span<const std::uint8_t> data) {
    const auto length = static_cast<std::uint32_t>(data.size());
    for (std::uint32_t i = 0; i < length; ++i)
        mCells[CellOf(Direction::kWrite, offset, i)] = data[i];
    return CellOf(Direction::kWrite, offset, length);
}

void FruDevice::Load(const std::filesystem::path& dir) {
    std::ifstream in(dir / mConfig.file, std::ios::binary);
    if (!in) return;
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    Fill(image);
}

bool FruDevice::Save(const std::filesystem::path& dir) const {
    std::ofstream out(dir / mConfig.file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(mCells.data()),
              static_cast<std::streamsize>(mCells.size()));
    return static_cast<bool>(out);
}

}  // namespace sim::fru
