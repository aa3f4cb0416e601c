// What writing records would change in the repository. A commit clears
// the repository and adds the records it writes in type order, and the BMC
// gives them their record IDs: so a record is compared with the
// repository's record of the same type list at the same position, by its
// bytes after the record ID.
#ifndef SRVFW_HOST_SDR_COMPARE_H
#define SRVFW_HOST_SDR_COMPARE_H

#include <optional>
#include <vector>

#include "host/sdr/records.h"

namespace srvfw {

enum class ChangeKind { kAdded, kChanged, kRemoved };

struct RecordChange {
    ChangeKind kind;
    unsigned list = 0;
    unsigned position = 0;  // among the written records of its list
    std::optional<SdrRecord> written;
    std::optional<SdrRecord> repository;
};

// The records a commit would write: those the tags let through.
std::vector<SdrRecord> Committed(const std::vector<SdrRecord>& records);

// Where the repository would differ after writing `written` (records in
// type order, as ReadRecords gives them); empty when it would hold the
// same records.
std::vector<RecordChange> CompareRecords(const std::vector<SdrRecord>& written,
                                         const std::vector<SdrRecord>& repository);

const char* ChangeWord(ChangeKind kind);  // "added", "changed", "removed"

}  // namespace srvfw

#endif
