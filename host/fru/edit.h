// Changing a FRU in the library's memory: new field values (from the
// command line, or copied from a FRU file), checked against the FRU before
// anything is touched, and the differences between two readings of a FRU.
#ifndef SRVFW_HOST_FRU_EDIT_H
#define SRVFW_HOST_FRU_EDIT_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/fru/fields.h"
#include "host/fru/library.h"
#include "host/fru/snapshot.h"

namespace srvfw {

// New bytes for one field, or for the whole multi-record area (the field
// then has no name: the area has no fields). A text field's value goes to
// the library as text, which keeps the field's encoding when it can; its
// bytes are then the value in 8-bit text, for sizes.
struct Change {
    FRU_AREA area;
    std::optional<FieldName> field;
    std::vector<std::uint8_t> bytes;
    std::optional<std::wstring> text = std::nullopt;

    std::string Name() const;
};

// The field in the FRU; throws (does not fit) when the FRU lacks its area,
// or it is a custom field past the area's last one.
const FieldSnapshot& FindField(const FruSnapshot& fru, const FieldName& field);

// Throws (does not fit) when a change names an area or a field the FRU does
// not have, or internal use bytes of another length than the area's.
void CheckFits(const FruSnapshot& fru, const std::vector<Change>& changes);
// Whether every change would leave the FRU as it is.
bool ChangesNothing(const FruSnapshot& fru, const std::vector<Change>& changes);

// Hands every change to the library (in memory only). Values that shrink go
// first, so that the room they free can take the values that grow. A value
// the library refuses throws with its message.
void Apply(FruLibrary& library, FruHandle fru, const FruSnapshot& before,
           const std::vector<Change>& changes);

// What copying the file's FRU into the system's takes: every field and area
// whose bytes differ. Throws (does not fit) when the layouts differ, naming
// every difference: an area in one and not the other, another number of
// custom fields, internal use bytes of another length, a longer
// multi-record area than the FRU has room for.
std::vector<Change> ChangesFromFile(const FruSnapshot& system, const FruSnapshot& file);

// One field (or area, or the header) that reads differently in two
// readings of a FRU.
struct Difference {
    std::string name;
    std::string title;
    std::optional<std::string> oldText;
    std::vector<std::uint8_t> oldBytes;
    std::optional<std::string> newText;
    std::vector<std::uint8_t> newBytes;
    std::optional<FRU_FIELD_TYPE> oldEncoding = std::nullopt;
    std::optional<FRU_FIELD_TYPE> newEncoding = std::nullopt;
};
std::vector<Difference> Differences(const FruSnapshot& before, const FruSnapshot& after);

}  // namespace srvfw

#endif
