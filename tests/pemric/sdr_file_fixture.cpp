#include "sdr_file_fixture.h"

#include <cstdio>

#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"

using namespace Pemric_Private;

Bytes RecordWithIdString(std::uint8_t type, unsigned fixedLength, const std::string& id) {
    Bytes bytes = CountingRecord(type, fixedLength);
    bytes.back() = static_cast<std::uint8_t>(0xC0 | id.size());
    bytes.insert(bytes.end(), id.begin(), id.end());
    bytes[4] = static_cast<std::uint8_t>(fixedLength + id.size());
    return bytes;
}

Bytes OemRecord(const std::string& data) {
    Bytes bytes{0x00, 0x40, 0x51, 0xC0, static_cast<std::uint8_t>(3 + data.size()),
                0x00, 0x01, 0x57};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

void SdrFileTest::Save(const std::vector<CSdr*>& records) {
    ASSERT_EQ(WriteSDRFIleHeader(kSavedPath, mTexts, {0x1234, L"2.1"}, &mError), PEMRIC_SUCCESS);
    for (unsigned index = 0; index < kTypeOrderCount; ++index) {
        bool commented = false;
        for (CSdr* record : records) {
            unsigned type = 0;
            record->GetTypeAsInteger(type);
            if (TypeOrderIndex(type) != index) continue;
            if (!commented) {
                ASSERT_EQ(WriteCommentLine(kSavedPath, mTexts, type, &mError), PEMRIC_SUCCESS);
            }
            commented = true;
            ASSERT_EQ(record->WriteRecordToFile(kSavedPath), PEMRIC_SUCCESS);
        }
    }
    ASSERT_EQ(WriteSDRFIleFooter(kSavedPath, mTexts, &mError), PEMRIC_SUCCESS);
}

unsigned SdrFileTest::Load(const char* path, SdrRecordLists& lists) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return ~0u;
    mFileData.setLineCounter(0);
    const unsigned status =
        CSdrFileReader(file, mTexts, mFileData, &mError).ReadSdrRecordsFromFile(lists);
    std::fclose(file);
    return status;
}

unsigned SdrFileTest::LoadText(const std::string& text, SdrRecordLists& lists) {
    WriteFile("crafted.sdr", text);
    return Load("crafted.sdr", lists);
}

std::string SdrFileTest::HeaderText() {
    EXPECT_EQ(WriteSDRFIleHeader(L"header.sdr", mTexts, {0, L"1.0"}, nullptr), PEMRIC_SUCCESS);
    return ReadFile("header.sdr");
}
