#include "pemric/sdr_commit.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "bmc/message.h"
#include "bmc/trace.h"
#include "pemric/pemric_status.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

constexpr int kPlatformClearAndAddA = 11;
constexpr int kPlatformClearAndAddB = 15;
// The part of a record the BMC does not give back as written: its ID.
constexpr std::size_t kComparedFrom = 2;

bool EqualIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

// Each type's records read back are the ones written, in the order
// written, compared from byte 2 on: the record ID is the BMC's.
bool ReadBackMatches(const std::vector<CommitRecord>& records, const SdrRecordLists& readBack) {
    std::array<unsigned, kTypeOrderCount> position{};
    for (const CommitRecord& record : records) {
        const OrderedList<CSdr*>& list = readBack.byType[record.typeIndex];
        const unsigned at = position[record.typeIndex]++;
        if (at >= list.Count()) return false;
        const std::span<const unsigned char> read = list[at]->RawBytes();
        if (read.size() != record.bytes.size() || read.size() <= kComparedFrom ||
            !std::equal(read.begin() + kComparedFrom, read.end(),
                        record.bytes.begin() + kComparedFrom)) {
            return false;
        }
    }
    for (unsigned type = 0; type < kTypeOrderCount; ++type) {
        if (position[type] != readBack.byType[type].Count()) return false;
    }
    return true;
}

}  // namespace

bool SDRTagsCheck(const CSdr& record, const OrderedList<char*>& setTags) {
    const OrderedList<char*>& tags = record.Tags();
    if (tags.Count() == 0) return true;
    for (unsigned i = 0; i < tags.Count(); ++i) {
        for (unsigned j = 0; j < setTags.Count(); ++j) {
            if (EqualIgnoringCase(tags[i], setTags[j])) return true;
        }
    }
    return false;
}

unsigned GatherCommittedRecords(const SdrRecordLists& lists, const OrderedList<char*>& setTags,
                                std::vector<CommitRecord>& records) {
    CTrace trace(L"Pemric", L"CommitConfigurationToSystem");
    records.clear();
    for (unsigned type = 0; type < kTypeOrderCount; ++type) {
        const OrderedList<CSdr*>& list = lists.byType[type];
        for (unsigned i = 0; i < list.Count(); ++i) {
            if (!SDRTagsCheck(*list[i], setTags)) continue;
            std::array<unsigned char, 256> bytes{};
            unsigned char count = 0;
            list[i]->WriteSDRToBuffer(bytes.data(), count);
            if (count < kRecordHeaderLength) {
                trace.Failure(L"Record Bytes Not Available");
                return PEMRIC_UPDATE_FAILED;
            }
            records.push_back({type, {bytes.begin(), bytes.begin() + count}});
        }
    }
    return PEMRIC_SUCCESS;
}

bool UsesClearAndAdd(int bmcType, int platform) {
    return (bmcType != BMC_TYPE_STANDARD && platform == kPlatformMbmc) ||
           platform == kPlatformClearAndAddA || platform == kPlatformClearAndAddB;
}

unsigned SdrCommit::AddRecords(const std::vector<CommitRecord>& records) {
    const unsigned count = static_cast<unsigned>(records.size());
    mProgress.Message(mTexts.Text(kProgressWritingRecords));
    for (unsigned sent = 0; sent < count; ++sent) {
        if (const unsigned status = mBmc.SendRecordToBMC(records[sent].bytes)) return status;
        mProgress.Count(mTexts.Text(kProgressRecordWritten), sent + 1, count);
    }
    mProgress.Message(L"\n");
    return PEMRIC_SUCCESS;
}

unsigned SdrCommit::VerifyReadBack(const std::vector<CommitRecord>& records, int bmcType) {
    CTrace trace(L"SdrReadSystem", L"CommitConfigurationToSystem");
    mProgress.Message(mTexts.Text(kProgressReadingBack));
    SdrRecordLists readBack;
    SDRPROPERTIES properties;
    unsigned totalBytes = 0;
    unsigned status = mBmc.LoadSdrProperties(properties);
    if (status == PEMRIC_SUCCESS) {
        status = bmcType == BMC_TYPE_STANDARD
                     ? mBmc.LoadSdrRecordsToList(readBack, properties, totalBytes)
                     : mBmc.LoadSdrRecordsToListMBMC(
                           readBack, static_cast<unsigned>(records.size()), totalBytes);
    }
    if (status != PEMRIC_SUCCESS) {
        trace.Failure(L"Error Reading SDRs Back");
        return status;
    }
    if (!ReadBackMatches(records, readBack)) {
        cbwprintf(mDisplay, L"\nSDR Verification failed\n");
        trace.Failure(L"SDR Verification Failed");
        return PEMRIC_UPDATE_FAILED;
    }
    mProgress.Message(L"\n");
    return PEMRIC_SUCCESS;
}

unsigned SdrCommit::ClearAndAdd(const std::vector<CommitRecord>& records, int bmcType) {
    CTrace trace(L"SdrReadSystem", L"CommitConfigurationToSystem");
    cbwprintf(mDisplay, L"\n\n");
    mProgress.Message(mTexts.Text(kProgressClearing));
    mLastError.SetLastErrorMessage(mTexts.Text(kMessageCommitFailed));
    if (const unsigned status = mBmc.ClearSDRRepository()) {
        trace.Failure(L"Error Clearing SDR Repository");
        return status;
    }
    if (const unsigned status = AddRecords(records)) {
        trace.Failure(L"Error Adding SDR");
        return status;
    }
    if (const unsigned status = VerifyReadBack(records, bmcType)) return status;
    cbwprintf(mDisplay, L"\n\n");
    mLastError.SetLastErrorMessage(L"");
    return PEMRIC_SUCCESS;
}

unsigned SdrCommit::WriteArea(const std::vector<CommitRecord>& records) {
    CTrace trace(L"Pemric", L"CommitConfigurationToSystem");
    mProgress.Message(mTexts.Text(kProgressWritingRecords));
    mLastError.SetLastErrorMessage(mTexts.Text(kMessageCommitFailed));
    if (const unsigned status = mBmc.OpenArea(kSdrArea)) return status;
    const unsigned count = static_cast<unsigned>(records.size());
    std::uint8_t sequence = 1;
    std::vector<unsigned char> image;
    for (unsigned written = 0; written < count; ++written) {
        const std::span<const unsigned char> bytes = records[written].bytes;
        for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
            const std::size_t length = std::min<std::size_t>(16, bytes.size() - offset);
            if (const unsigned status =
                    mBmc.WriteToArea(sequence++, bytes.subspan(offset, length))) {
                return status;
            }
        }
        image.insert(image.end(), bytes.begin(), bytes.end());
        mProgress.Count(mTexts.Text(kProgressRecordWritten), written + 1, count);
    }
    mProgress.Message(L"\n");
    if (const unsigned status =
            mBmc.CloseArea(static_cast<std::uint32_t>(image.size()), ChecksumSDRs(image))) {
        return status;
    }
    mLastError.SetLastErrorMessage(L"");
    return PEMRIC_SUCCESS;
}

}  // namespace Pemric_Private
