// One FRU as the FRU library shows it, read through the table into plain
// values: its location, common header, and every area with every field's
// title, text and raw bytes. Commands show it, compare two of them, and
// look fields up in it, without walking the library's selection again.
#ifndef SRVFW_HOST_FRU_SNAPSHOT_H
#define SRVFW_HOST_FRU_SNAPSHOT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/fru/fields.h"
#include "host/fru/library.h"
#include "host/fru/locator.h"

namespace srvfw {

// A FRU in one of the library's lists.
struct FruHandle {
    FRU_LIST list;
    std::uint32_t index;
};

struct FieldSnapshot {
    FieldName field;
    std::string title;
    std::optional<std::string> text;  // none when the library cannot show the value
    std::string textError;            // then the library's reason
    std::vector<std::uint8_t> raw;
    // Text fields of the chassis, board and product areas: how the bytes
    // are encoded.
    std::optional<FRU_FIELD_TYPE> encoding;
};

struct AreaSnapshot {
    FRU_AREA area;
    std::string name;  // the library's name of the area
    std::vector<FieldSnapshot> fields;
    // The area's bytes: chassis, board and product as they would be written
    // (padding and checksum included).
    std::vector<std::uint8_t> data;
    // Chassis, board and product: free bytes a longer value may take.
    std::optional<std::uint32_t> freeBytes;
};

struct FruSnapshot {
    FruLocator locator;
    std::string name;  // the library's name of the FRU, often none
    std::vector<std::uint8_t> header;
    std::vector<AreaSnapshot> areas;  // the areas present, in header order

    const AreaSnapshot* Find(FRU_AREA area) const;
    const FieldSnapshot* Find(const FieldName& field) const;
};

// Selects the FRU: its list, then the FRU (clearing area and field).
void SelectFru(FruLibrary& library, FruHandle fru);
// Reads the whole FRU; the FRU stays selected.
FruSnapshot ReadFru(FruLibrary& library, FruHandle fru);

}  // namespace srvfw

#endif
