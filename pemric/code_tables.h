// The tables that turn an IPMI code (sensor type, entity ID, unit, ...) into
// the ID of its text. An entry covers a range of codes with one text; the
// first entry whose range holds the code wins.
#ifndef SRVFW_PEMRIC_CODE_TABLES_H
#define SRVFW_PEMRIC_CODE_TABLES_H

#include <cstdint>
#include <span>

namespace Pemric_Private {

struct MM_Table_Entry_Tag {
    std::uint32_t stringId;
    std::uint32_t lowestCode;
    std::uint32_t highestCode;
};

// The kinds DecodeType selects a table by.
enum CodeTableKind : unsigned {
    CODE_SENSOR_TYPE = 0,
    CODE_DEVICE_TYPE = 1,
    CODE_DEVICE_TYPE_MODIFIER = 2,
    CODE_ENTITY_ID = 3,
    CODE_DEVICE_ID = 4,
    CODE_EVENT_READING_TYPE = 5,
    CODE_SENSOR_UNIT = 6,
    CODE_INTERRUPT_TYPE = 7,
};

extern const std::span<const MM_Table_Entry_Tag> sensor_type_table;
extern const std::span<const MM_Table_Entry_Tag> device_type_table;
extern const std::span<const MM_Table_Entry_Tag> device_type_mod_table;
extern const std::span<const MM_Table_Entry_Tag> dev_type_mod_Heceta_table;
extern const std::span<const MM_Table_Entry_Tag> dev_type_mod_24C01_table;
extern const std::span<const MM_Table_Entry_Tag> entity_id_table;
extern const std::span<const MM_Table_Entry_Tag> device_id_table;
extern const std::span<const MM_Table_Entry_Tag> event_read_type_code_table;
extern const std::span<const MM_Table_Entry_Tag> sensor_unit_type_code_table;
extern const std::span<const MM_Table_Entry_Tag> irq_type_code_table;

// The table for a kind; a device type modifier means something only with
// its device type, which picks one of three modifier tables. An unknown
// kind gives an empty table.
std::span<const MM_Table_Entry_Tag> CodeTableFor(unsigned kind, unsigned deviceType);

// The string ID of code in table; a code no entry covers is unknown (158).
unsigned LookUpCode(std::span<const MM_Table_Entry_Tag> table, unsigned code);

}  // namespace Pemric_Private

#endif
