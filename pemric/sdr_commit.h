// Writing the file data set's records to the BMC, on one of two paths:
// clear the repository and add the records one by one (then read them back
// and compare), or stream them as one image into the BMC's SDR area.
//
// Either way the records go in type order and list order, and only those
// that pass the tag check. Every record's bytes are gathered before the
// BMC is touched, so a record that cannot be written stops the commit
// while the repository still holds what it held.
#ifndef SRVFW_PEMRIC_SDR_COMMIT_H
#define SRVFW_PEMRIC_SDR_COMMIT_H

#include <vector>

#include "bmc/display.h"
#include "bmc/ordered_list.h"
#include "pemric/sdr_file_lines.h"
#include "pemric/sdr_progress.h"
#include "pemric/sdr_read_system.h"
#include "pemric/sdr_record_lists.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// A record without tags always takes part; a tagged one only when one of
// its tags equals one of setTags, regardless of case.
bool SDRTagsCheck(const CSdr& record, const OrderedList<char*>& setTags);

struct CommitRecord {
    unsigned typeIndex = 0;
    std::vector<unsigned char> bytes;
};

// The records of lists that pass the tag check, with their raw bytes.
// 0xC006003B when one of them holds no copy of its bytes.
unsigned GatherCommittedRecords(const SdrRecordLists& lists, const OrderedList<char*>& setTags,
                                std::vector<CommitRecord>& records);

// The platform whose BMC may be an mBMC: its repository is read with the
// load that keeps undecoded records, and written by clear-and-add unless
// the BMC is the standard one.
inline constexpr int kPlatformMbmc = 3;

// The clear-and-add path serves these BMCs; the others take the image.
bool UsesClearAndAdd(int bmcType, int platform);

class SdrCommit {
  public:
    SdrCommit(SdrReadSystem& bmc, const CSdrTexts& texts, SdrProgress progress,
              DisplayCallback display, CLastErrorSink& lastError)
        : mBmc(bmc), mTexts(texts), mProgress(progress), mDisplay(display), mLastError(lastError) {}

    // Fails with the erase's or the first failed add's code, with the
    // read-back's code when the records cannot be read back, and with
    // 0xC006003B when what was read back differs from what was written.
    // Every failure leaves text 648 as the last error; success clears it.
    unsigned ClearAndAdd(const std::vector<CommitRecord>& records, int bmcType);
    unsigned WriteArea(const std::vector<CommitRecord>& records);

  private:
    unsigned AddRecords(const std::vector<CommitRecord>& records);
    unsigned VerifyReadBack(const std::vector<CommitRecord>& records, int bmcType);

    SdrReadSystem& mBmc;
    const CSdrTexts& mTexts;
    SdrProgress mProgress;
    DisplayCallback mDisplay;
    CLastErrorSink& mLastError;
};

}  // namespace Pemric_Private

#endif
