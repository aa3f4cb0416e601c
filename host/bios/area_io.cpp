#include "host/bios/area_io.h"

#include <cstdio>

namespace srvfw {

namespace {

FLASH_AREA_TABLE* AsTable(std::vector<std::uint8_t>& table) {
    return reinterpret_cast<FLASH_AREA_TABLE*>(table.data());
}

}  // namespace

AreaAccess::AreaAccess(BiosLibrary& library, const BiosAreaTable& fat, const BiosArea& area)
    : mLibrary(library), mFat(fat), mArea(area) {
    if (!area.problem.empty()) {
        throw Failure(ExitCode::kDoesNotFit, "the BIOS's record of " + Named() +
                                                 " cannot be used: " + area.problem +
                                                 "; nothing was read or written");
    }
}

std::string AreaAccess::Named() const {
    return "area " + std::to_string(mArea.number) + " \"" + mArea.name + "\"";
}

std::string AreaAccess::Block(std::size_t index) const {
    char address[16];
    std::snprintf(address, sizeof address, "0x%08X", mArea.ranges.at(index).flashStart);
    return "block " + std::to_string(index + 1) + " at " + address;
}

std::vector<std::uint8_t> AreaAccess::ReadAll(ProgressDisplay& progress,
                                              const std::wstring& label) {
    std::vector<std::uint8_t> image(Bytes(), 0xFF);
    const auto blocks = static_cast<unsigned>(mArea.ranges.size());
    for (std::size_t i = 0; i < mArea.ranges.size(); ++i) {
        const std::uint32_t status = TryRead(i, image);
        if (status != 0) throw Fail("reading", i, status);
        progress.Report(PROGRESS_COUNT, label.c_str(), static_cast<unsigned>(i + 1), blocks);
    }
    return image;
}

std::uint32_t AreaAccess::TryRead(std::size_t index, std::span<std::uint8_t> image) {
    std::vector<std::uint8_t> table = SingleRangeTable(mFat, mArea, index);
    return mLibrary.Try("ReadBiosMemory", &_EFI_RASK_IF::ReadBiosMemory,
                        static_cast<unsigned>(image.size()), AsTable(table), image.data());
}

void AreaAccess::CheckWrite(std::span<std::uint8_t> image) {
    std::vector<std::uint8_t> table = SingleAreaTable(mFat, mArea);
    const std::uint32_t status =
        mLibrary.Try("CheckBiosAreaForWrite", &_EFI_RASK_IF::CheckBiosAreaForWrite,
                     static_cast<unsigned>(image.size()), AsTable(table));
    if (status != 0) {
        throw mLibrary.Fail(ExitCode::kLibraryCall, "checking the write of " + Named(), status)
            .With("Nothing was written.");
    }
}

std::uint32_t AreaAccess::TryErase(std::size_t index) {
    std::vector<std::uint8_t> table = SingleRangeTable(mFat, mArea, index);
    return mLibrary.Try("EraseBiosBlocks", &_EFI_RASK_IF::EraseBiosBlocks, AsTable(table));
}

std::uint32_t AreaAccess::TryWrite(std::size_t index, std::span<std::uint8_t> image) {
    std::vector<std::uint8_t> table = SingleRangeTable(mFat, mArea, index);
    return mLibrary.Try("WriteBiosMemory", &_EFI_RASK_IF::WriteBiosMemory,
                        static_cast<unsigned>(image.size()), AsTable(table), image.data());
}

Failure AreaAccess::Fail(const std::string& doing, std::size_t index, std::uint32_t status) {
    return mLibrary.Fail(ExitCode::kLibraryCall, doing + " " + Block(index) + " of " + Named(),
                         status);
}

}  // namespace srvfw
