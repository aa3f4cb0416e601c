#include "fru_file_fixture.h"

#include <iterator>
#include <string>
#include <vector>

#include "fru_test_support.h"
#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_text.h"

namespace fru_test {

namespace {

Bytes Copy(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

// Each custom field as stored: type/length byte, then data.
std::vector<Bytes> CustomFields(const Orvel_Private::CFruInfoArea& area) {
    std::vector<Bytes> fields;
    for (const Orvel_Private::CFruCustomField& field : area.GetCustomFields()) {
        fields.push_back(Field(field.GetTypeLength(), Copy(field.GetData())));
    }
    return fields;
}

Bytes MultiRecordBytes(const Orvel_Private::CFru& fru) {
    Bytes bytes(fru.GetMultiRecAreaLength());
    std::uint32_t written = 0;
    EXPECT_EQ(fru.SerializeMultiRecArea(bytes, written), Orvel_Private::ORVEL_SUCCESS);
    bytes.resize(written);
    return bytes;
}

}  // namespace

void FruFileTest::SetUp() {
    Orvel_Private::ClearLastError();
}

std::string FruFileTest::WriteFile(const std::string& name, const std::string& text) const {
    const std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string FruFileTest::ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> FruFileTest::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

void LoadImage(Orvel_Private::CFru& fru, const Bytes& image) {
    ImageStorage storage(image);
    ASSERT_EQ(fru.ReadFruFromSystem(storage.Reader()), Orvel_Private::ORVEL_SUCCESS);
}

void ExpectSameFru(Orvel_Private::CFru& expected, Orvel_Private::CFru& actual) {
    EXPECT_EQ(Copy(actual.Header().GetData()), Copy(expected.Header().GetData()));
    EXPECT_EQ(Copy(actual.InternalUseArea().GetData()), Copy(expected.InternalUseArea().GetData()));
    EXPECT_EQ(Copy(actual.ChassisInfoArea().GetData()), Copy(expected.ChassisInfoArea().GetData()));
    EXPECT_EQ(Copy(actual.BoardInfoArea().GetData()), Copy(expected.BoardInfoArea().GetData()));
    EXPECT_EQ(Copy(actual.ProductInfoArea().GetData()), Copy(expected.ProductInfoArea().GetData()));
    EXPECT_EQ(CustomFields(actual.ChassisInfoArea()), CustomFields(expected.ChassisInfoArea()));
    EXPECT_EQ(CustomFields(actual.BoardInfoArea()), CustomFields(expected.BoardInfoArea()));
    EXPECT_EQ(CustomFields(actual.ProductInfoArea()), CustomFields(expected.ProductInfoArea()));
    EXPECT_EQ(actual.GetMultiRecAreaLength(), expected.GetMultiRecAreaLength());
    EXPECT_EQ(MultiRecordBytes(actual), MultiRecordBytes(expected));

    const Orvel_Private::FRU_LOCATOR& want = expected.GetDevLocator();
    const Orvel_Private::FRU_LOCATOR& got = actual.GetDevLocator();
    EXPECT_EQ(got.mType, want.mType);
    EXPECT_EQ(got.mFruDeviceId, want.mFruDeviceId);
    EXPECT_EQ(got.mControllerAddress, want.mControllerAddress);
    EXPECT_EQ(got.mLun, want.mLun);
    EXPECT_EQ(got.mBus, want.mBus);
    EXPECT_EQ(got.mSlaveAddress, want.mSlaveAddress);
    EXPECT_EQ(got.mMbmcSizeAddress, want.mMbmcSizeAddress);
    EXPECT_EQ(got.mMbmcSizeData, want.mMbmcSizeData);
    EXPECT_EQ(got.mName, want.mName);
}

std::wstring Widen(std::string_view text) {
    return {text.begin(), text.end()};
}

}  // namespace fru_test
