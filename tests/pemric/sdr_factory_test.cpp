#include "pemric/sdr_factory.h"

#include <gtest/gtest.h>

#include "pemric/pemric_status.h"
#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

// The record types in the library's type order.
constexpr unsigned kTypeOrder[] = {0x01, 0x02, 0x03, 0x08, 0x09, 0x10,
                                   0x11, 0x12, 0x13, 0x14, 0xC0};

TEST_F(RecordTest, EveryKnownTypeGetsItsOwnClass) {
    for (unsigned type : kTypeOrder) {
        std::unique_ptr<CSdr> record = Create(static_cast<std::uint8_t>(type));
        ASSERT_NE(record, nullptr) << type;
        unsigned reported = 0;
        EXPECT_EQ(record->GetTypeAsInteger(reported), PEMRIC_SUCCESS);
        EXPECT_EQ(reported, type);
    }
    EXPECT_EQ(Log(), "");
}

TEST_F(RecordTest, AnUnknownTypeIsRefusedAndLeavesTheOutputAlone) {
    for (unsigned type : {0x00u, 0x04u, 0x07u, 0x0Au, 0x0Fu, 0x15u, 0xBFu, 0xC1u, 0xFFu}) {
        CSdr* record = reinterpret_cast<CSdr*>(0x1);
        EXPECT_EQ(CreateSDRTypeObject(type, record, mTexts), PEMRIC_SDR_TYPE_NOT_SUPPORTED) << type;
        EXPECT_EQ(record, reinterpret_cast<CSdr*>(0x1));
    }
    EXPECT_EQ(Log().substr(0, Log().find("\r\n")),
              "CSdr::CreateSDRTypeObject - SDR Type Not Supported");
}

TEST_F(RecordTest, TypeNamesFollowTheTypeOrder) {
    std::unique_ptr<CSdr> record = Create(0x13);
    wchar_t* name = nullptr;
    ASSERT_EQ(record->ConvertTypeToString(0, name), PEMRIC_SUCCESS);
    EXPECT_STREQ(name, L"Full Sensor Record");
    ASSERT_EQ(record->ConvertTypeToString(8, name), PEMRIC_SUCCESS);
    EXPECT_STREQ(name, L"Management Controller Confirmation Record");
    ASSERT_EQ(record->ConvertTypeToString(10, name), PEMRIC_SUCCESS);
    EXPECT_STREQ(name, L"OEM Record");
    // Past the type order there is no name to give.
    ASSERT_EQ(record->ConvertTypeToString(11, name), PEMRIC_SUCCESS);
    EXPECT_STREQ(name, L"Unknown");
}

TEST_F(RecordTest, GetTypeAsStringSucceedsWithoutAText) {
    std::unique_ptr<CSdr> record = Create(0x01);
    wchar_t sentinel[] = L"untouched";
    wchar_t* name = sentinel;
    EXPECT_EQ(record->GetTypeAsString(name), PEMRIC_SUCCESS);
    EXPECT_EQ(name, sentinel);
}

}  // namespace
