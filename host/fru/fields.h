// The names srvfw gives the areas and fields of a FRU on the command line
// and in its output: "board.manufacturer", "product.asset_tag",
// "chassis.type", "board.mfg_date", "internal.data", and custom fields by
// area and number, "board.custom.0" being the first one stored in the area.
#ifndef SRVFW_HOST_FRU_FIELDS_H
#define SRVFW_HOST_FRU_FIELDS_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "include/orvel_interface.h"

namespace srvfw {

// How a field's value is given on the command line and handed to the
// library.
enum class FieldKind {
    kText,          // 8-bit text
    kMfgDate,       // the board's manufacturing date/time: 3 bytes
    kChassisType,   // one byte
    kInternalData,  // the internal use area's bytes, as hex
};

struct AreaKind {
    FRU_AREA area;
    std::string_view key;       // "board"
    std::uint32_t fixedFields;  // the fields every such area has, before custom ones
    bool customFields;
};

// The areas in the order of a FRU's common header.
inline constexpr AreaKind kAreaKinds[] = {
    {FRU_AREA_INTERNAL, "internal", 1, false},    {FRU_AREA_CHASSIS, "chassis", 3, true},
    {FRU_AREA_BOARD, "board", 6, true},           {FRU_AREA_PRODUCT, "product", 7, true},
    {FRU_AREA_MULTIREC, "multirecord", 0, false},
};
const AreaKind& AreaKindOf(FRU_AREA area);

struct FixedField {
    std::string_view name;
    FRU_AREA area;
    FRU_FIELD field;
    FieldKind kind;
};

// Each area's fixed fields, in the library's order.
inline constexpr FixedField kFixedFields[] = {
    {"internal.data", FRU_AREA_INTERNAL, FRU_FIELD_INTERNAL_USE_DATA, FieldKind::kInternalData},
    {"chassis.type", FRU_AREA_CHASSIS, FRU_FIELD_CHASSIS_TYPE, FieldKind::kChassisType},
    {"chassis.part_number", FRU_AREA_CHASSIS, FRU_FIELD_CHASSIS_PART_NUMBER, FieldKind::kText},
    {"chassis.serial_number", FRU_AREA_CHASSIS, FRU_FIELD_CHASSIS_SERIAL_NUMBER, FieldKind::kText},
    {"board.mfg_date", FRU_AREA_BOARD, FRU_FIELD_BOARD_MFG_DATE_TIME, FieldKind::kMfgDate},
    {"board.manufacturer", FRU_AREA_BOARD, FRU_FIELD_BOARD_MANUFACTURER, FieldKind::kText},
    {"board.product_name", FRU_AREA_BOARD, FRU_FIELD_BOARD_PRODUCT_NAME, FieldKind::kText},
    {"board.serial_number", FRU_AREA_BOARD, FRU_FIELD_BOARD_SERIAL_NUMBER, FieldKind::kText},
    {"board.part_number", FRU_AREA_BOARD, FRU_FIELD_BOARD_PART_NUMBER, FieldKind::kText},
    {"board.fru_file_id", FRU_AREA_BOARD, FRU_FIELD_BOARD_FRU_FILE_ID, FieldKind::kText},
    {"product.manufacturer", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_MANUFACTURER_NAME,
     FieldKind::kText},
    {"product.name", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_NAME, FieldKind::kText},
    {"product.part_number", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_PART_MODEL_NUMBER,
     FieldKind::kText},
    {"product.version", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_VERSION, FieldKind::kText},
    {"product.serial_number", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_SERIAL_NUMBER, FieldKind::kText},
    {"product.asset_tag", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_ASSET_TAG, FieldKind::kText},
    {"product.fru_file_id", FRU_AREA_PRODUCT, FRU_FIELD_PRODUCT_FRU_FILE_ID, FieldKind::kText},
};

// One field of one area.
struct FieldName {
    FRU_AREA area;
    // The fixed fields first, then the custom fields in the order the area
    // stores them.
    std::uint32_t position;
    FieldKind kind;
    std::optional<FRU_FIELD> fixed;  // for a fixed field
    std::string name;
};

// "board.manufacturer", "board.custom.2"; none for anything else.
std::optional<FieldName> ParseFieldName(std::string_view name);
// The field at a position of an area (a custom one past the fixed fields).
FieldName FieldAt(FRU_AREA area, std::uint32_t position);

// The library numbers an area's fields from 0, fixed fields first, but
// counts custom fields from the last stored one in its text and setter
// entries and from the first stored one in its raw-bytes entry. srvfw
// names custom fields in stored order, so it asks each entry by its own
// index.
struct FieldIndices {
    std::uint32_t text;  // GetFieldStringValue, SetFieldDataValue
    std::uint32_t raw;   // GetFieldDataValue
};
FieldIndices IndicesOf(const FieldName& field, std::uint32_t fieldCount);

}  // namespace srvfw

#endif
