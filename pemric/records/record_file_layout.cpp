#include "pemric/records/record_file_layout.h"

namespace Pemric_Private {

namespace {

// Field numbers as in each type's field table; the masks, the record
// sharing values and the product ID are 16-bit lines, the manufacturer IDs
// 3-byte lines. Bytes split into bit groups are titled by their first field.
constexpr FileLineRun kFullSensor[] = {{1, 3, 4},  {1, 6, 7},  {2, 3, 13}, {1, 4, 16},
                                       {1, 5, 20}, {1, 1, 26}, {1, 1, 28}, {1, 17, 29}};
constexpr FileLineRun kCompactSensor[] = {
    {1, 9, 4}, {2, 3, 13}, {1, 3, 16}, {2, 1, 19}, {1, 7, 20}};
// The event-only sensor's ID string is field 14, its type/length byte 15.
constexpr FileLineRun kEventOnlySensor[] = {{1, 7, 4}, {2, 1, 11}, {1, 2, 12}, {1, 1, 15}};
constexpr FileLineRun kElevenBytes[] = {{1, 11, 4}};
constexpr FileLineRun kDeviceRelativeAssociation[] = {{1, 27, 4}};
constexpr FileLineRun kControllerConfirmation[] = {
    {1, 6, 4}, {3, 1, 10}, {2, 1, 11}, {1, 16, 12, true}};
constexpr FileLineRun kOem[] = {{3, 1, 4}};

struct TypeLayout {
    unsigned recordType;
    RecordFileLayout layout;
};

// The full sensor's second part starts at its entity; the entity
// association's at its first contained entity.
const TypeLayout kLayouts[] = {
    {0x01, {kFullSensor, FileTail::IdString, 3}},
    {0x02, {kCompactSensor, FileTail::IdString, 0}},
    {0x03, {kEventOnlySensor, FileTail::IdString, 0}},
    {0x08, {kElevenBytes, FileTail::None, 5}},
    {0x09, {kDeviceRelativeAssociation, FileTail::None, 0}},
    {0x10, {kElevenBytes, FileTail::IdString, 0}},
    {0x11, {kElevenBytes, FileTail::IdString, 0}},
    {0x12, {kElevenBytes, FileTail::IdString, 0}},
    {0x13, {kControllerConfirmation, FileTail::None, 0}},
    {0x14, {kElevenBytes, FileTail::None, 0}},
    {0xC0, {kOem, FileTail::OemData, 0}},
};

}  // namespace

const RecordFileLayout* FileLayoutOf(unsigned recordType) {
    for (const TypeLayout& entry : kLayouts) {
        if (entry.recordType == recordType) return &entry.layout;
    }
    return nullptr;
}

}  // namespace Pemric_Private
