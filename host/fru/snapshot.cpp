#include "host/fru/snapshot.h"

#include <algorithm>

#include "host/frame/text.h"

namespace srvfw {

namespace {

// The largest area the table hands out: a multi-record area's length is
// 16 bits wide.
constexpr std::uint32_t kMaxAreaBytes = 0x10000;
constexpr std::uint32_t kHeaderBytes = 8;

using HasEntry = std::uint32_t (*EFI_FRU_INTERFACE::*)(EFI_FRU_INTERFACE*, bool*);

HasEntry HasEntryOf(FRU_AREA area) {
    switch (area) {
        case FRU_AREA_INTERNAL:
            return &EFI_FRU_INTERFACE::HasInternalUseArea;
        case FRU_AREA_CHASSIS:
            return &EFI_FRU_INTERFACE::HasChassisArea;
        case FRU_AREA_BOARD:
            return &EFI_FRU_INTERFACE::HasBoardArea;
        case FRU_AREA_PRODUCT:
            return &EFI_FRU_INTERFACE::HasProductArea;
        default:
            return &EFI_FRU_INTERFACE::HasMultiRecordArea;
    }
}

// The selected area's bytes (internal use, multi-record, common header).
std::vector<std::uint8_t> AreaData(FruLibrary& library, std::uint32_t capacity) {
    std::vector<std::uint8_t> data(capacity);
    std::uint32_t size = capacity;
    library.Call("reading the area's bytes", &EFI_FRU_INTERFACE::GetAreaData, data.data(), &size);
    data.resize(std::min(size, capacity));
    return data;
}

// The field's title and its value as the library renders it.
FieldSnapshot ReadFieldText(FruLibrary& library, const FieldName& name, std::uint32_t index) {
    FieldSnapshot field{name, {}, {}, {}, {}, {}};
    library.Call("selecting " + name.name, &EFI_FRU_INTERFACE::SelectFieldInteger, index);
    const wchar_t* title = nullptr;
    library.Call("reading the title of " + name.name, &EFI_FRU_INTERFACE::GetFieldTitle, &title);
    field.title = ToUtf8(title);
    // A value the library cannot render (a manufacturing date past what the
    // clock can break down) is still shown by its bytes.
    const wchar_t* text = nullptr;
    if (library.Try("GetFieldStringValue", &EFI_FRU_INTERFACE::GetFieldStringValue, &text) == 0) {
        field.text = ToUtf8(text);
    } else {
        field.textError = library.TakeLastError();
    }
    FRU_FIELD_TYPE encoding{};
    if (name.kind == FieldKind::kText &&
        library.Try("GetFieldEncoding", &EFI_FRU_INTERFACE::GetFieldEncoding, &encoding) == 0) {
        field.encoding = encoding;
    }
    return field;
}

FieldSnapshot ReadInfoField(FruLibrary& library, const FieldName& name, std::uint32_t count) {
    const FieldIndices indices = IndicesOf(name, count);
    FieldSnapshot field = ReadFieldText(library, name, indices.text);
    library.Call("selecting " + name.name, &EFI_FRU_INTERFACE::SelectFieldInteger, indices.raw);
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    library.Call("reading " + name.name, &EFI_FRU_INTERFACE::GetFieldDataValue, &bytes, &length);
    if (bytes != nullptr) field.raw.assign(bytes, bytes + length);
    return field;
}

AreaSnapshot ReadArea(FruLibrary& library, FRU_AREA area) {
    AreaSnapshot snapshot{area, {}, {}, {}, {}};
    const std::string key(AreaKindOf(area).key);
    library.Call("selecting the " + key + " area", &EFI_FRU_INTERFACE::SelectAreaEnum, area);
    const wchar_t* name = nullptr;
    library.Call("reading the " + key + " area's name", &EFI_FRU_INTERFACE::GetAreaName, &name);
    snapshot.name = ToUtf8(name);
    if (area == FRU_AREA_MULTIREC) {
        snapshot.data = AreaData(library, kMaxAreaBytes);
        return snapshot;
    }
    std::uint32_t count = 0;
    library.Call("counting the " + key + " area's fields", &EFI_FRU_INTERFACE::GetNumberOfFields,
                 &count);
    if (area == FRU_AREA_INTERNAL) {
        snapshot.data = AreaData(library, kMaxAreaBytes);
        if (count > 0) {
            // Its one field is the area's data, which only the area entries
            // hand out as bytes.
            FieldSnapshot field = ReadFieldText(library, FieldAt(area, 0), 0);
            field.raw = snapshot.data;
            snapshot.fields.push_back(std::move(field));
        }
        return snapshot;
    }
    std::uint32_t free = 0;
    library.Call("reading the " + key + " area's free bytes", &EFI_FRU_INTERFACE::GetMaxFieldSize,
                 &free);
    snapshot.freeBytes = free;
    snapshot.data = AreaData(library, kMaxAreaBytes);
    for (std::uint32_t position = 0; position < count; ++position) {
        snapshot.fields.push_back(ReadInfoField(library, FieldAt(area, position), count));
    }
    return snapshot;
}

}  // namespace

const AreaSnapshot* FruSnapshot::Find(FRU_AREA area) const {
    for (const AreaSnapshot& snapshot : areas) {
        if (snapshot.area == area) return &snapshot;
    }
    return nullptr;
}

const FieldSnapshot* FruSnapshot::Find(const FieldName& field) const {
    const AreaSnapshot* area = Find(field.area);
    if (area == nullptr || field.position >= area->fields.size()) return nullptr;
    return &area->fields[field.position];
}

void SelectFru(FruLibrary& library, FruHandle fru) {
    library.Call("selecting the FRU list", &EFI_FRU_INTERFACE::SelectList,
                 static_cast<int>(fru.list));
    library.Call("selecting the FRU", &EFI_FRU_INTERFACE::SelectFru, fru.index);
}

FruSnapshot ReadFru(FruLibrary& library, FruHandle fru) {
    SelectFru(library, fru);
    FruSnapshot snapshot;
    FRU_TYPE type = FRU_NVS_NONE;
    std::uint8_t sizeData = 0;
    std::uint16_t sizeAddress = 0;
    FruLocator& at = snapshot.locator;
    library.Call("reading the FRU's address", &EFI_FRU_INTERFACE::GetFruAddress, &type, &at.lun,
                 &at.slave, &at.bus, &at.controller, &at.deviceId, &sizeData, &sizeAddress);
    at.type = type;
    const wchar_t* name = nullptr;
    library.Call("reading the FRU's name", &EFI_FRU_INTERFACE::GetFruName, &name);
    snapshot.name = ToUtf8(name);
    library.Call("selecting the common header", &EFI_FRU_INTERFACE::SelectAreaEnum,
                 FRU_AREA_COMMON);
    snapshot.header = AreaData(library, kHeaderBytes);
    for (const AreaKind& kind : kAreaKinds) {
        bool has = false;
        library.Call("asking for the " + std::string(kind.key) + " area", HasEntryOf(kind.area),
                     &has);
        if (has) snapshot.areas.push_back(ReadArea(library, kind.area));
    }
    return snapshot;
}

}  // namespace srvfw
