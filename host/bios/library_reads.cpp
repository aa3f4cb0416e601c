#include "host/bios/library_reads.h"

namespace srvfw {

namespace {

// The library tells the size of a table by refusing a buffer too small for
// it; the refusal's text is dropped so that it cannot stand for a later
// failure. An empty result: the library holds no such table.
template <class Layout>
std::vector<std::uint8_t> CopyTable(BiosLibrary& library, const std::string& what,
                                    unsigned (*_EFI_RASK_IF::*entry)(RASK_TABLE, unsigned*,
                                                                     Layout*)) {
    std::vector<std::uint8_t> table(1);
    unsigned size = 0;
    std::uint32_t status = library.Try(what, entry, &size, reinterpret_cast<Layout*>(table.data()));
    if (status == 0) return {};
    if (status != kRaskBufferTooSmall) throw library.Fail(ExitCode::kLibraryCall, what, status);
    library.TakeLastError();
    if (size == 0) return {};
    table.assign(size, 0);
    status = library.Try(what, entry, &size, reinterpret_cast<Layout*>(table.data()));
    if (status != 0) throw library.Fail(ExitCode::kLibraryCall, what, status);
    table.resize(std::min<std::size_t>(size, table.size()));
    return table;
}

std::optional<BiosNotifyTable> ReadNotifyTable(BiosLibrary& library) {
    FLASH_NOTIFY_TABLE table{};
    unsigned size = sizeof table;
    const std::string what = "reading the Flash Notification Table";
    const std::uint32_t status = library.Try(what, &_EFI_RASK_IF::GetNotifyTbl, &size, &table);
    if (status == kRaskNoNotifyTable) {
        library.TakeLastError();
        return std::nullopt;
    }
    if (status != 0) throw library.Fail(ExitCode::kLibraryCall, what, status);
    return BiosNotifyTable{static_cast<std::uint16_t>(table.NotifyLength & 0xFFFF), table.DataAddr};
}

}  // namespace

BiosTables ReadBiosTables(BiosLibrary& library, bool withNotify) {
    BiosTables tables;
    const std::vector<std::uint8_t> fst =
        CopyTable(library, "reading the Flash Segment Table", &_EFI_RASK_IF::GetSegmentTbl);
    if (fst.empty()) {
        throw Failure(ExitCode::kLibraryCall, "the BIOS library gave no Flash Segment Table");
    }
    tables.segments = ParseSegmentTable(fst);
    const std::vector<std::uint8_t> fat =
        CopyTable(library, "reading the Flash Area Table", &_EFI_RASK_IF::GetBiosAreaTbl);
    if (!fat.empty()) tables.areas = ParseAreaTable(fat);
    if (withNotify) tables.notify = ReadNotifyTable(library);
    return tables;
}

BiosAreaTable RequireAreaTable(BiosLibrary& library) {
    std::optional<BiosAreaTable> areas = ReadBiosTables(library, false).areas;
    if (!areas) {
        throw Failure(ExitCode::kLibraryCall,
                      "the BIOS keeps no Flash Area Table: it names no area to read or write");
    }
    return std::move(*areas);
}

const BiosArea& RequireArea(const BiosAreaTable& fat, const std::string& numberOrName) {
    if (const BiosArea* area = fat.Find(numberOrName)) return *area;
    std::string names;
    for (const BiosArea& area : fat.areas) {
        names +=
            (names.empty() ? "" : ", ") + std::to_string(area.number) + " \"" + area.name + "\"";
    }
    throw Failure(ExitCode::kDoesNotFit, "the BIOS has no area \"" + numberOrName +
                                             "\"; its areas are " +
                                             (names.empty() ? std::string("none") : names));
}

RASK_NOTIFY_STATE ReadNotifyState(BiosLibrary& library) {
    RASK_NOTIFY_STATE state = RASK_NOTIFY_NONE;
    library.Call("reading the update notification", &_EFI_RASK_IF::GetUpdateNotifyState, state);
    return state;
}

RASK_FLASH_DEVICE_INFO ReadFlashDeviceInfo(BiosLibrary& library) {
    RASK_FLASH_DEVICE_INFO info{};
    library.Call("asking how the flash is reached", &_EFI_RASK_IF::GetFlashDeviceInfo, info);
    return info;
}

}  // namespace srvfw
