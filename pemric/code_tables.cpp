#include "pemric/code_tables.h"

#include <array>
#include <cstddef>

#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

// A run of codes as the tables are written down: either every code of the
// range shows the same text, or each code has its own text, the IDs counting
// up from firstStringId. A run of the second kind stands for one entry per
// code, so that the tables keep one entry per text.
struct CodeRun {
    std::uint32_t firstStringId;
    std::uint32_t lowestCode;
    std::uint32_t highestCode;
    bool textPerCode;
};

constexpr std::size_t EntryCount(std::span<const CodeRun> runs) {
    std::size_t count = 0;
    for (const CodeRun& run : runs)
        count += run.textPerCode ? run.highestCode - run.lowestCode + 1 : 1;
    return count;
}

template <std::size_t N>
constexpr std::array<MM_Table_Entry_Tag, N> Expand(std::span<const CodeRun> runs) {
    std::array<MM_Table_Entry_Tag, N> entries{};
    std::size_t next = 0;
    for (const CodeRun& run : runs) {
        if (!run.textPerCode) {
            entries[next++] = {run.firstStringId, run.lowestCode, run.highestCode};
            continue;
        }
        for (std::uint32_t code = run.lowestCode; code <= run.highestCode; ++code) {
            entries[next++] = {run.firstStringId + (code - run.lowestCode), code, code};
        }
    }
    return entries;
}

constexpr bool kOneText = false;
constexpr bool kTextEach = true;

constexpr CodeRun kSensorTypes[] = {
    {kTextReservedCode, 0x00, 0x00, kOneText},
    {118, 0x01, 0x27, kTextEach},  // temperature .. LAN
    {kTextReservedCode, 0x28, 0xBF, kOneText},
    {157, 0xC0, 0xFF, kOneText},  // OEM
};

constexpr CodeRun kDeviceTypes[] = {
    {kTextReservedCode, 0x00, 0x01, kOneText},
    {337, 0x02, 0x05, kTextEach},  // temperature sensors, Heceta
    {kTextReservedCode, 0x06, 0x07, kOneText},
    {341, 0x08, 0x10, kTextEach},  // EEPROMs, FRU inventory device
    {kTextReservedCode, 0x11, 0x13, kOneText},
    {350, 0x14, 0x24, kTextEach},  // RAM, clocks, converters, controllers
    {kTextReservedCode, 0x25, 0xBE, kOneText},
    {367, 0xBF, 0xBF, kOneText},  // other / unspecified
    {368, 0xC0, 0xFF, kOneText},  // OEM
};

// For device types without modifiers of their own: the modifier is reserved,
// standard, unspecified or OEM. Its ranges follow the device type ranges;
// 05h and 08h..0Fh have tables of their own.
constexpr CodeRun kDeviceTypeModifiers[] = {
    {380, 0x00, 0x01, kOneText}, {382, 0x02, 0x04, kOneText}, {380, 0x06, 0x07, kOneText},
    {382, 0x10, 0x10, kOneText}, {380, 0x11, 0x13, kOneText}, {382, 0x14, 0x24, kOneText},
    {380, 0x25, 0xBE, kOneText}, {381, 0xBF, 0xBF, kOneText}, {379, 0xC0, 0xFF, kOneText},
};

constexpr CodeRun kHecetaModifiers[] = {
    {369, 0x00, 0x05, kTextEach},  // Heceta 1 (LM78) .. Heceta 5
};

constexpr CodeRun k24C01Modifiers[] = {
    {375, 0x00, 0x03, kTextEach},  // unspecified, DIMM, FRU inventory, processor
    {482, 0x04, 0xFF, kOneText},   // reserved
};

constexpr CodeRun kEntityIds[] = {
    {kTextZeroMeansUnspecified, 0x00, 0x00, kOneText},
    {383, 0x01, 0x01, kOneText},               // other
    {kTextUnknownCode, 0x02, 0x02, kOneText},  // unknown
    {124, 0x03, 0x03, kOneText},               // processor, as the sensor type
    {384, 0x04, 0x1E, kTextEach},              // disk bay .. cooling unit
    {144, 0x1F, 0x1F, kOneText},               // cable/interconnect, as the sensor type
    {411, 0x20, 0x25, kTextEach},              // memory device .. group
    {kTextReservedCode, 0x26, 0x8F, kOneText},
    {417, 0x90, 0xAF, kOneText},  // chassis-specific
    {418, 0xB0, 0xCF, kOneText},  // board-set specific
    {419, 0xD0, 0xFF, kOneText},  // OEM system integrator
};

constexpr CodeRun kDeviceIds[] = {
    {kTextZeroMeansUnspecified, 0x00, 0x00, kOneText},
};

constexpr CodeRun kEventReadingTypes[] = {
    {kTextZeroMeansUnspecified, 0x00, 0x00, kOneText},
    {420, 0x01, 0x01, kOneText},  // threshold
    {421, 0x02, 0x0B, kOneText},  // generic discrete
    {422, 0x6F, 0x6F, kOneText},  // sensor-specific
    {204, 0x70, 0x7F, kOneText},  // OEM
};

constexpr CodeRun kSensorUnits[] = {
    {423, 0x00, 0x5A, kTextEach},  // unspecified .. uncorrectable error
};

constexpr CodeRun kInterruptTypes[] = {
    {514, 0x00, 0x15, kTextEach},  // IRQ 0..15, PCI A..D, SMI, SCI
    {536, 0x20, 0x20, kOneText},   // system interrupt 0
    {482, 0x21, 0x5E, kOneText},   // reserved
    {537, 0x5F, 0x5F, kOneText},   // system interrupt 63
    {538, 0x60, 0x60, kOneText},   // assigned by ACPI / plug and play BIOS
    {482, 0x61, 0xFE, kOneText},   // reserved
    {539, 0xFF, 0xFF, kOneText},   // no interrupt
};

template <const auto& runs>
constexpr auto Table() {
    return Expand<EntryCount(runs)>(runs);
}

constexpr auto kSensorTypeTable = Table<kSensorTypes>();
constexpr auto kDeviceTypeTable = Table<kDeviceTypes>();
constexpr auto kDeviceTypeModifierTable = Table<kDeviceTypeModifiers>();
constexpr auto kHecetaModifierTable = Table<kHecetaModifiers>();
constexpr auto k24C01ModifierTable = Table<k24C01Modifiers>();
constexpr auto kEntityIdTable = Table<kEntityIds>();
constexpr auto kDeviceIdTable = Table<kDeviceIds>();
constexpr auto kEventReadingTypeTable = Table<kEventReadingTypes>();
constexpr auto kSensorUnitTable = Table<kSensorUnits>();
constexpr auto kInterruptTypeTable = Table<kInterruptTypes>();

constexpr unsigned kDeviceTypeHeceta = 0x05;
constexpr unsigned kDeviceTypeFirstEeprom = 0x08;
constexpr unsigned kDeviceTypeLastEeprom = 0x0F;

}  // namespace

const std::span<const MM_Table_Entry_Tag> sensor_type_table{kSensorTypeTable};
const std::span<const MM_Table_Entry_Tag> device_type_table{kDeviceTypeTable};
const std::span<const MM_Table_Entry_Tag> device_type_mod_table{kDeviceTypeModifierTable};
const std::span<const MM_Table_Entry_Tag> dev_type_mod_Heceta_table{kHecetaModifierTable};
const std::span<const MM_Table_Entry_Tag> dev_type_mod_24C01_table{k24C01ModifierTable};
const std::span<const MM_Table_Entry_Tag> entity_id_table{kEntityIdTable};
const std::span<const MM_Table_Entry_Tag> device_id_table{kDeviceIdTable};
const std::span<const MM_Table_Entry_Tag> event_read_type_code_table{kEventReadingTypeTable};
const std::span<const MM_Table_Entry_Tag> sensor_unit_type_code_table{kSensorUnitTable};
const std::span<const MM_Table_Entry_Tag> irq_type_code_table{kInterruptTypeTable};

std::span<const MM_Table_Entry_Tag> CodeTableFor(unsigned kind, unsigned deviceType) {
    switch (kind) {
        case CODE_SENSOR_TYPE:
            return sensor_type_table;
        case CODE_DEVICE_TYPE:
            return device_type_table;
        case CODE_DEVICE_TYPE_MODIFIER:
            if (deviceType == kDeviceTypeHeceta) return dev_type_mod_Heceta_table;
            if (deviceType >= kDeviceTypeFirstEeprom && deviceType <= kDeviceTypeLastEeprom) {
                return dev_type_mod_24C01_table;
            }
            return device_type_mod_table;
        case CODE_ENTITY_ID:
            return entity_id_table;
        case CODE_DEVICE_ID:
            return device_id_table;
        case CODE_EVENT_READING_TYPE:
            return event_read_type_code_table;
        case CODE_SENSOR_UNIT:
            return sensor_unit_type_code_table;
        case CODE_INTERRUPT_TYPE:
            return irq_type_code_table;
        default:
            return {};
    }
}

unsigned LookUpCode(std::span<const MM_Table_Entry_Tag> table, unsigned code) {
    for (const MM_Table_Entry_Tag& entry : table) {
        if (code >= entry.lowestCode && code <= entry.highestCode) return entry.stringId;
    }
    return kTextUnknownCode;
}

}  // namespace Pemric_Private
