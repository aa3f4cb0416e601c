#include "host/sdr/compare.h"

#include <algorithm>
#include <span>

namespace srvfw {

namespace {

// The record ID is the BMC's to give.
constexpr std::size_t kRecordIdBytes = 2;

std::span<const std::uint8_t> AfterId(const SdrRecord& record) {
    const std::span<const std::uint8_t> bytes(record.bytes);
    return bytes.subspan(std::min(bytes.size(), kRecordIdBytes));
}

bool SameRecord(const SdrRecord& a, const SdrRecord& b) {
    const auto left = AfterId(a);
    const auto right = AfterId(b);
    return std::equal(left.begin(), left.end(), right.begin(), right.end());
}

std::vector<const SdrRecord*> OfList(const std::vector<SdrRecord>& records, unsigned list) {
    std::vector<const SdrRecord*> of;
    for (const SdrRecord& record : records) {
        if (record.list == list) of.push_back(&record);
    }
    return of;
}

}  // namespace

std::vector<SdrRecord> Committed(const std::vector<SdrRecord>& records) {
    std::vector<SdrRecord> committed;
    std::copy_if(records.begin(), records.end(), std::back_inserter(committed),
                 [](const SdrRecord& record) { return record.committed; });
    return committed;
}

std::vector<RecordChange> CompareRecords(const std::vector<SdrRecord>& written,
                                         const std::vector<SdrRecord>& repository) {
    std::vector<RecordChange> changes;
    for (unsigned list = 0; list < SDR_LIST_COUNT; ++list) {
        const std::vector<const SdrRecord*> writes = OfList(written, list);
        const std::vector<const SdrRecord*> held = OfList(repository, list);
        for (std::size_t position = 0; position < std::max(writes.size(), held.size());
             ++position) {
            RecordChange change{ChangeKind::kChanged, list, static_cast<unsigned>(position),
                                std::nullopt, std::nullopt};
            if (position < writes.size()) change.written = *writes[position];
            if (position < held.size()) change.repository = *held[position];
            if (!change.repository) {
                change.kind = ChangeKind::kAdded;
            } else if (!change.written) {
                change.kind = ChangeKind::kRemoved;
            } else if (SameRecord(*change.written, *change.repository)) {
                continue;
            }
            changes.push_back(std::move(change));
        }
    }
    return changes;
}

const char* ChangeWord(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::kAdded:
            return "added";
        case ChangeKind::kChanged:
            return "changed";
        case ChangeKind::kRemoved:
            return "removed";
    }
    return "changed";
}

}  // namespace srvfw
