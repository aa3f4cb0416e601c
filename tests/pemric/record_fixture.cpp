#include "record_fixture.h"

#include "bmc/debug_log.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"

using namespace Pemric_Private;

Bytes CountingRecord(std::uint8_t type, unsigned bodyLength) {
    Bytes bytes{0x01, 0x02, 0x51, type, static_cast<std::uint8_t>(bodyLength)};
    for (unsigned i = 0; i < bodyLength; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
    return bytes;
}

void RecordTest::SetUp() {
    ScratchDirTest::SetUp();
    SetLibDebugLevel(1);
    mTable = std::make_unique<CStringResource>();
    ASSERT_EQ(mTable->Initialize(L"" PEMRIC_STRING_FILE, 0), STR_SUCCESS);
    ASSERT_EQ(mTable->CacheAll(), STR_SUCCESS);
}

std::unique_ptr<CSdr> RecordTest::Create(std::uint8_t type) {
    CSdr* record = nullptr;
    EXPECT_EQ(CreateSDRTypeObject(type, record, mTexts), PEMRIC_SUCCESS);
    return std::unique_ptr<CSdr>(record);
}

std::unique_ptr<CSdr> RecordTest::Decoded(Bytes bytes) {
    std::unique_ptr<CSdr> record = Create(bytes[3]);
    if (record != nullptr) {
        EXPECT_EQ(record->DecodeSDR(bytes.data()), PEMRIC_SUCCESS);
    }
    return record;
}

namespace {

using Getter = unsigned (CSdr::*)(wchar_t*&);

std::wstring Fetch(CSdr& record, Getter getter) {
    wchar_t* text = nullptr;
    EXPECT_EQ((record.*getter)(text), PEMRIC_SUCCESS);
    return text != nullptr ? text : L"(null)";
}

std::wstring FetchField(CSdr& record, unsigned index, Getter getter) {
    record.SelectField(index);
    return Fetch(record, getter);
}

}  // namespace

std::wstring RecordTest::Value(CSdr& record, unsigned index) {
    return FetchField(record, index, &CSdr::GetFieldValue);
}

std::wstring RecordTest::Title(CSdr& record, unsigned index) {
    return FetchField(record, index, &CSdr::GetFieldTitle);
}

std::wstring RecordTest::Location(CSdr& record, unsigned index) {
    return FetchField(record, index, &CSdr::GetFieldLocation);
}

std::wstring RecordTest::Name(CSdr& record) {
    return Fetch(record, &CSdr::GetName);
}

std::wstring RecordTest::SdrTitle(CSdr& record) {
    return Fetch(record, &CSdr::GetSdrTitle);
}

std::wstring RecordTest::Text(unsigned stringId) const {
    const wchar_t* text = mTable->GetString(stringId);
    return text != nullptr ? text : L"(missing)";
}
