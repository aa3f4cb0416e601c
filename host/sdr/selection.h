// Which records "sdr show" shows: of a type (its number, as 01h, 0x01 or 1,
// or a word of its name, as "full" or "locator"), with given record IDs
// (hex), or all.
#ifndef SRVFW_HOST_SDR_SELECTION_H
#define SRVFW_HOST_SDR_SELECTION_H

#include <optional>
#include <string>
#include <vector>

#include "host/frame/arguments.h"
#include "host/sdr/records.h"

namespace srvfw {

struct RecordChoice {
    std::optional<unsigned> typeNumber;
    std::optional<std::string> typeWord;
    std::vector<unsigned> ids;
};

// Takes --type T and the ID words; usage errors throw.
RecordChoice TakeRecordChoice(Arguments& arguments);

// The records chosen, in the order given; a usage error for an ID or a
// type word no record has.
std::vector<SdrRecord> Chosen(const std::vector<SdrRecord>& records, const RecordChoice& choice);

}  // namespace srvfw

#endif
