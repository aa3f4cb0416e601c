#include "tests/host/fake_library/fake_rask.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kArgument = 0xC00E0002;
constexpr std::uint32_t kTooSmall = 0xC00E0007;
constexpr std::uint32_t kBadAreaTable = 0xC00E0011;
constexpr std::uint32_t kUnknown = 0xC00E0001;
constexpr std::uint32_t kNoNotifyTable = 0xC00E0010;
constexpr std::uint32_t kNoMessage = 0xC00E001D;

FakeRaskScript gScript;
_EFI_RASK_IF gTable{};
std::wstring gPending;
std::wstring gHandedOut;

// Like the library: the first failure's text waits until it is fetched.
unsigned Failed(std::uint32_t status, const std::wstring& text) {
    if (gPending.empty()) gPending = text;
    return status;
}

std::uint32_t Word(const std::uint8_t* at) {
    std::uint32_t value = 0;
    std::memcpy(&value, at, 4);
    return value;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// The ranges of the first area of a table srvfw built; none when its Size
// is not what its records add up to.
std::optional<std::vector<FLASH_RANGE_RECORD>> RangesOf(const FLASH_AREA_TABLE* table) {
    if (table == nullptr) return std::nullopt;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(table);
    const std::uint32_t size = table->Header.Size;
    const std::uint32_t signature = Word(bytes + 64);
    std::vector<FLASH_RANGE_RECORD> ranges;
    std::size_t at = FlshAreaTblHdrSize + signature + FlshAreaRecHdrSize;
    for (;; at += FlshRangeRecSize) {
        if (at + FlshRangeRecSize > size) return std::nullopt;
        FLASH_RANGE_RECORD range;
        std::memcpy(&range, bytes + at, sizeof range);
        if (range.Flags == 0) break;
        ranges.push_back(range);
    }
    if (at + FlshRangeRecSize + LastFlshAreaRecSize != size) return std::nullopt;
    return ranges;
}

std::string Listed(const char* call, const std::vector<FLASH_RANGE_RECORD>& ranges) {
    std::string line = call;
    for (const FLASH_RANGE_RECORD& range : ranges) {
        line += " " + Hex(range.BlockStartOffset) + "-" + Hex(range.BlockStartLimitOffset);
    }
    return line;
}

std::uint8_t* Cell(std::uint32_t address) {
    return gScript.flash.data() + (address - gScript.flashBase);
}

template <class Layout>
unsigned Copy(const std::vector<std::uint8_t>& from, unsigned* size, Layout* buffer) {
    if (from.empty() || *size < from.size()) {
        *size = static_cast<unsigned>(from.size());
        return Failed(kTooSmall, L"The output buffer size is too small to hold requested data.");
    }
    std::memset(buffer, 0, *size);
    std::memcpy(buffer, from.data(), from.size());
    return 0;
}

unsigned Initialize(RASK_TABLE, int platform, const bool& skip) {
    gScript.platform = platform;
    gScript.skipPrimary = skip;
    gScript.calls.push_back("Initialize");
    return 0;
}
unsigned DeInitialize(RASK_TABLE) {
    gScript.calls.push_back("DeInitialize");
    return 0;
}
unsigned Unsupported(RASK_TABLE) {
    return 0xC00E001B;
}
unsigned GetLastErrorMessage(RASK_TABLE, wchar_t*& message) {
    if (gPending.empty()) return kNoMessage;
    gHandedOut = gPending;
    gPending.clear();
    message = gHandedOut.data();
    return 0;
}
unsigned GetBiosAreaTbl(RASK_TABLE, unsigned* size, FLASH_AREA_TABLE* table) {
    return Copy(gScript.fat, size, table);
}
unsigned GetSegmentTbl(RASK_TABLE, unsigned* size, FLASH_SEGMENT_TBL* table) {
    return Copy(gScript.fst, size, table);
}
unsigned ReadBiosMemory(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area, unsigned char* data) {
    const auto ranges = RangesOf(area);
    if (!ranges) return Failed(kBadAreaTable, L"Flash Area Table parameter is malformed.");
    gScript.calls.push_back(Listed("Read", *ranges));
    for (const FLASH_RANGE_RECORD& range : *ranges) {
        const std::uint32_t bytes = range.BlockStartLimitOffset - range.BlockStartOffset + 1;
        if (range.AreaStartOffset + bytes > length) return Failed(kTooSmall, L"Too small.");
        if (gScript.failReadAt == range.BlockStartOffset) {
            return Failed(kUnknown, L"Failed to read data from BIOS Flash.");
        }
        std::memcpy(data + range.AreaStartOffset, Cell(range.BlockStartOffset), bytes);
    }
    return 0;
}
unsigned WriteBiosMemory(RASK_TABLE, unsigned length, FLASH_AREA_TABLE* area, unsigned char* data) {
    const auto ranges = RangesOf(area);
    if (!ranges) return Failed(kBadAreaTable, L"Flash Area Table parameter is malformed.");
    gScript.calls.push_back(Listed("Write", *ranges));
    for (const FLASH_RANGE_RECORD& range : *ranges) {
        const std::uint32_t bytes = range.BlockStartLimitOffset - range.BlockStartOffset + 1;
        if (range.AreaStartOffset + bytes > length) return Failed(kUnknown, L"Too small.");
        const bool fails = gScript.failWriteAt == range.BlockStartOffset;
        // Programming only clears bits.
        std::uint8_t* cells = Cell(range.BlockStartOffset);
        for (std::uint32_t i = 0; i < (fails ? bytes / 2 : bytes); ++i) {
            cells[i] &= data[range.AreaStartOffset + i];
        }
        if (fails) return Failed(kUnknown, L"Flash write failure in the fake.");
    }
    return 0;
}
unsigned EraseBiosBlocks(RASK_TABLE, FLASH_AREA_TABLE* area) {
    const auto ranges = RangesOf(area);
    if (!ranges) return Failed(kBadAreaTable, L"Flash Area Table parameter is malformed.");
    gScript.calls.push_back(Listed("Erase", *ranges));
    for (const FLASH_RANGE_RECORD& range : *ranges) {
        if (gScript.failEraseAt == range.BlockStartOffset) {
            return Failed(kUnknown, L"Block erase failure in the fake.");
        }
        std::fill_n(Cell(range.BlockStartOffset),
                    range.BlockStartLimitOffset - range.BlockStartOffset + 1, 0xFF);
    }
    return 0;
}
unsigned SetUpdateNotify(RASK_TABLE, const bool& set) {
    gScript.calls.push_back(set ? "Notify set" : "Notify reset");
    if (gScript.notifyStatus != 0) return gScript.notifyStatus;
    gScript.notifyState = set ? RASK_NOTIFY_PENDING : RASK_NOTIFY_NONE;
    return 0;
}
unsigned GetPlatformId(RASK_TABLE, unsigned, wchar_t*) {
    return Failed(kUnknown, L"Unknown Error in the Rask Protocol: ErrorCode = 0xc00e0001.");
}
unsigned GetSmbiosData(RASK_TABLE, SMB_DATA_TYPE type, unsigned length, char* out) {
    const std::vector<std::uint8_t>& from =
        type == SMB_ENTRY_POINT ? gScript.smbiosEntry : gScript.smbiosTable;
    if (length == 0 || out == nullptr) return Failed(kArgument, L"Invalid argument.");
    std::memset(out, 0, length);
    std::memcpy(out, from.data(), std::min<std::size_t>(length, from.size()));
    return 0;
}
unsigned SetDebugLevel(RASK_TABLE, unsigned) {
    return 0;
}
unsigned GetNotifyTbl(RASK_TABLE, unsigned* size, FLASH_NOTIFY_TABLE* table) {
    if (!gScript.withNotifyTable) return Failed(kNoNotifyTable, L"No Flash Notification Table.");
    if (*size < sizeof *table) return Failed(kTooSmall, L"Too small.");
    *table = FLASH_NOTIFY_TABLE{};
    std::memcpy(table->HeaderSearch, "NOTIFYBT", 8);
    table->AccessType = 7;
    table->NotifyLength = 2;
    table->DataAddr = 0xFFF80010;
    return 0;
}
unsigned GetUpdateNotifyState(RASK_TABLE, RASK_NOTIFY_STATE& state) {
    state = gScript.notifyState;
    return 0;
}
unsigned CheckBiosAreaForWrite(RASK_TABLE, unsigned, FLASH_AREA_TABLE* area) {
    const auto ranges = RangesOf(area);
    if (!ranges) return Failed(kBadAreaTable, L"Flash Area Table parameter is malformed.");
    gScript.calls.push_back("Check " + std::to_string(ranges->size()) + " ranges");
    if (gScript.checkStatus != 0) return Failed(gScript.checkStatus, L"Refused by the fake.");
    return 0;
}
unsigned GetFlashDeviceInfo(RASK_TABLE, RASK_FLASH_DEVICE_INFO& info) {
    info = RASK_FLASH_DEVICE_INFO{};
    info.Platform = gScript.platform;
    info.Interface = RASK_FLASH_SPI;
    info.SpiFlashKind = 1;
    info.SpiJedecId[0] = 0x1F;
    info.SpiJedecId[1] = 0x47;
    info.BottomOfFlash = 0xFFC00000;
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) _EFI_RASK_IF* GetRaskInterface() {
    gTable = _EFI_RASK_IF{};
    gTable.Revision = EFI_RASK_IF_REVISION;
    gTable.Initialize = Initialize;
    gTable.DeInitialize = DeInitialize;
    gTable.LoadConfigurationFromSystem = Unsupported;
    gTable.GetLastErrorMessage = GetLastErrorMessage;
    gTable.GetBiosAreaTbl = GetBiosAreaTbl;
    gTable.GetSegmentTbl = GetSegmentTbl;
    gTable.ReadBiosMemory = ReadBiosMemory;
    gTable.WriteBiosMemory = WriteBiosMemory;
    gTable.EraseBiosBlocks = EraseBiosBlocks;
    gTable.SetUpdateNotify = SetUpdateNotify;
    gTable.GetPlatformId = GetPlatformId;
    gTable.GetSmbiosData = GetSmbiosData;
    gTable.SetDebugLevel = SetDebugLevel;
    gTable.GetNotifyTbl = GetNotifyTbl;
    gTable.GetUpdateNotifyState = GetUpdateNotifyState;
    gTable.CheckBiosAreaForWrite = CheckBiosAreaForWrite;
    gTable.GetFlashDeviceInfo = GetFlashDeviceInfo;
    return &gTable;
}

extern "C" __attribute__((visibility("default"))) FakeRaskScript* FakeRaskScriptOf() {
    return &gScript;
}
