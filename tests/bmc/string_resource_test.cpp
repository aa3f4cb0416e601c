#include "bmc/string_resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "scratch_dir.h"
#include "str_file_image.h"

namespace {

constexpr wchar_t kPath[] = L"messages.str";

class StringResourceTest : public ScratchDirTest {
  protected:
    static void Write(const StrFileImage& image) { WriteFile("messages.str", image.Bytes()); }

    // A table that failed to load holds nothing.
    static void ExpectEmpty(CStringResource& table) {
        EXPECT_EQ(table.GetString(0), nullptr);
        EXPECT_EQ(table.ReleaseAll(), STR_NOT_LOADED);
        EXPECT_EQ(table.CacheAll(), STR_NOT_LOADED);
    }

    CStringResource mTable;
};

// --------------------------------------------------------------- Initialize

struct InitializeCase {
    const char* name;
    std::function<std::string()> file;
    unsigned expectedCount;
    int result;
};

void PrintTo(const InitializeCase& c, std::ostream* os) {
    *os << c.name;
}

StrFileImage ThreeStrings() {
    return StrFileImage::Of({u"zero", u"one", u"two"});
}

StrFileImage Mutated(const std::function<void(StrFileImage&)>& change) {
    StrFileImage image = ThreeStrings();
    change(image);
    return image;
}

const InitializeCase kInitializeCases[] = {
    {"WellFormed", [] { return ThreeStrings().Bytes(); }, 0, STR_SUCCESS},
    {"ExpectedCountMatches", [] { return ThreeStrings().Bytes(); }, 3, STR_SUCCESS},
    {"OddLastByteIsLeftOutOfTheSum", [] { return ThreeStrings().Bytes() + '\x55'; }, 0,
     STR_SUCCESS},
    {"SumNotZero", [] { return Mutated([](StrFileImage& i) { i.balanced = false; }).Bytes(); }, 0,
     STR_BAD_CHECKSUM},
    // The checksum is checked before anything else, even an absurd count.
    {"SumNotZeroBeforeCount",
     [] {
         return Mutated([](StrFileImage& i) {
                    i.balanced = false;
                    i.count = 0;
                })
             .Bytes();
     },
     5, STR_BAD_CHECKSUM},
    {"ExpectedCountDiffers",
     [] {
         return StrFileImage::Of({u"a", u"b", u"c", u"d", u"e", u"f"}).Bytes();
     },
     5, STR_COUNT_MISMATCH},
    {"NoStrings", [] { return StrFileImage{}.Bytes(); }, 0, STR_NO_STRINGS},
    {"OddOffset", [] { return Mutated([](StrFileImage& i) { i.offsets[1] += 1; }).Bytes(); }, 0,
     STR_BAD_OFFSETS},
    {"FirstOffsetNotBehindTables",
     [] { return Mutated([](StrFileImage& i) { i.offsets[0] += 2; }).Bytes(); }, 0,
     STR_BAD_OFFSETS},
    {"EmptyFile", [] { return std::string(); }, 0, STR_READ_FAILED},
    {"CountCutShort", [] { return std::string("\0\0", 2); }, 0, STR_READ_FAILED},
    // A count far beyond what the file holds: the tables are cut short.
    {"TablesCutShort", [] { return Mutated([](StrFileImage& i) { i.count = 1000; }).Bytes(); }, 0,
     STR_READ_FAILED},
    {"HugeCount", [] { return Mutated([](StrFileImage& i) { i.count = 0x7FFFFFFF; }).Bytes(); }, 0,
     STR_READ_FAILED},
    {"LengthTableCutShort",
     [] {
         StrFileImage image;
         image.count = 2;
         image.offsets = {20, 24};
         image.lengths = {};
         image.units = {};
         return image.Bytes();  // the count, the offsets, the closing word: no lengths
     },
     0, STR_READ_FAILED},
};

class StringResourceInitialize : public StringResourceTest,
                                 public ::testing::WithParamInterface<InitializeCase> {};

TEST_P(StringResourceInitialize, ChecksTheFile) {
    WriteFile("messages.str", GetParam().file());
    EXPECT_EQ(mTable.Initialize(kPath, GetParam().expectedCount), GetParam().result);
    if (GetParam().result == STR_SUCCESS) {
        ASSERT_NE(mTable.GetString(0), nullptr);
    } else {
        ExpectEmpty(mTable);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, StringResourceInitialize, ::testing::ValuesIn(kInitializeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StringResourceTest, InitializeRefusesPathsItCannotUse) {
    Write(ThreeStrings());
    EXPECT_EQ(mTable.Initialize(nullptr, 0), STR_NULL_ARGUMENT);
    EXPECT_EQ(mTable.Initialize(nullptr, L"us", L"x.str", 0), STR_NULL_ARGUMENT);
    EXPECT_EQ(mTable.Initialize(L"en", nullptr, L"x.str", 0), STR_NULL_ARGUMENT);
    EXPECT_EQ(mTable.Initialize(L"en", L"us", nullptr, 0), STR_NULL_ARGUMENT);
    EXPECT_EQ(mTable.Initialize(L"missing.str", 0), STR_CANNOT_OPEN);
    // A directory opens for reading, but is no string file.
    std::filesystem::create_directory("folder.str");
    EXPECT_EQ(mTable.Initialize(L"folder.str", 0), STR_CANNOT_OPEN);
    const std::wstring tooLong(5000, L'a');
    EXPECT_EQ(mTable.Initialize(tooLong.c_str(), 0), STR_BAD_PATH);
    EXPECT_EQ(mTable.Initialize(L"en", L"us", tooLong.c_str(), 0), STR_BAD_PATH);
    ExpectEmpty(mTable);
}

TEST_F(StringResourceTest, InitializeJoinsLanguageCountryAndFileName) {
    WriteFile("enus/lib/str/lib.str", ThreeStrings().Bytes());
    ASSERT_EQ(mTable.Initialize(L"en", L"us", L"lib/str/lib.str", 0), STR_SUCCESS);
    EXPECT_STREQ(mTable.GetString(2), L"two");
    EXPECT_EQ(mTable.Initialize(L"de", L"de", L"lib/str/lib.str", 0), STR_CANNOT_OPEN);
}

TEST_F(StringResourceTest, FailedInitializeDropsThePreviousTable) {
    Write(ThreeStrings());
    ASSERT_EQ(mTable.Initialize(kPath, 0), STR_SUCCESS);
    ASSERT_EQ(mTable.CacheAll(), STR_SUCCESS);
    EXPECT_EQ(mTable.Initialize(L"missing.str", 0), STR_CANNOT_OPEN);
    ExpectEmpty(mTable);
}

TEST_F(StringResourceTest, InitializeReplacesTheTable) {
    WriteFile("first.str", StrFileImage::Of({u"old"}).Bytes());
    WriteFile("second.str", StrFileImage::Of({u"new", u"more"}).Bytes());
    ASSERT_EQ(mTable.Initialize(L"first.str", 0), STR_SUCCESS);
    EXPECT_STREQ(mTable.GetString(0), L"old");
    ASSERT_EQ(mTable.Initialize(L"second.str", 0), STR_SUCCESS);
    EXPECT_STREQ(mTable.GetString(0), L"new");
    EXPECT_STREQ(mTable.GetString(1), L"more");
}

// ----------------------------------------------------- reading the strings

// Both ways of reading a string: one at a time from the file, or all at once.
class StringResourceReading : public StringResourceTest,
                              public ::testing::WithParamInterface<bool> {
  protected:
    void Load(const StrFileImage& image) {
        Write(image);
        ASSERT_EQ(mTable.Initialize(kPath, 0), STR_SUCCESS);
        if (GetParam()) {
            ASSERT_EQ(mTable.CacheAll(), STR_SUCCESS);
        }
    }
};

TEST_P(StringResourceReading, ReturnsEveryStringByIndex) {
    Load(StrFileImage::Of({u"first", u"", u"third text"}));
    EXPECT_STREQ(mTable.GetString(0), L"first");
    EXPECT_STREQ(mTable.GetString(1), L"");
    EXPECT_STREQ(mTable.GetString(2), L"third text");
    EXPECT_EQ(mTable.GetString(3), nullptr);
    EXPECT_EQ(mTable.GetString(0xFFFFFFFF), nullptr);
}

TEST_P(StringResourceReading, WidensEachUnitWithoutCombiningSurrogates) {
    Load(StrFileImage::Of({u"\u00E9\u20AC\uFFFF", u"\U0001F600"}));
    const wchar_t expectedFirst[] = {0xE9, 0x20AC, 0xFFFF, 0};
    const wchar_t expectedSecond[] = {0xD83D, 0xDE00, 0};
    EXPECT_STREQ(mTable.GetString(0), expectedFirst);
    EXPECT_STREQ(mTable.GetString(1), expectedSecond);
}

// A last string stored without its zero unit must still end inside the
// buffer it is returned in.
TEST_P(StringResourceReading, EndsAStringWhoseZeroUnitIsMissing) {
    StrFileImage image = StrFileImage::Of({u"ok", u"AB"});
    image.units.pop_back();
    image.lengths[1] = 2;
    Load(image);
    EXPECT_STREQ(mTable.GetString(0), L"ok");
    EXPECT_STREQ(mTable.GetString(1), L"AB");
}

TEST_P(StringResourceReading, StringOfLengthZeroIsEmpty) {
    StrFileImage image = StrFileImage::Of({u"x", u""});
    image.units.pop_back();
    image.lengths[1] = 0;
    Load(image);
    EXPECT_STREQ(mTable.GetString(1), L"");
}

INSTANTIATE_TEST_SUITE_P(Modes, StringResourceReading, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Cached" : "OneByOne"; });

TEST_F(StringResourceTest, ReleasedStringIsReadAgain) {
    Write(ThreeStrings());
    ASSERT_EQ(mTable.Initialize(kPath, 0), STR_SUCCESS);
    ASSERT_STREQ(mTable.GetString(1), L"one");
    EXPECT_EQ(mTable.ReleaseString(1), STR_SUCCESS);
    EXPECT_STREQ(mTable.GetString(1), L"one");
    EXPECT_EQ(mTable.ReleaseString(3), STR_BAD_INDEX);
    EXPECT_EQ(mTable.ReleaseAll(), STR_SUCCESS);
    EXPECT_STREQ(mTable.GetString(2), L"two");
}

TEST_F(StringResourceTest, CachedStringsStayUntilReleaseAll) {
    Write(ThreeStrings());
    ASSERT_EQ(mTable.Initialize(kPath, 0), STR_SUCCESS);
    ASSERT_STREQ(mTable.GetString(0), L"zero");  // loaded on its own first
    ASSERT_EQ(mTable.CacheAll(), STR_SUCCESS);
    const wchar_t* cached = mTable.GetString(1);
    ASSERT_STREQ(cached, L"one");

    EXPECT_EQ(mTable.CacheAll(), STR_SUCCESS);
    EXPECT_EQ(mTable.GetString(1), cached);
    EXPECT_EQ(mTable.ReleaseString(1), STR_SUCCESS);
    EXPECT_EQ(mTable.GetString(1), cached);
    EXPECT_STREQ(cached, L"one");
    EXPECT_EQ(mTable.ReleaseString(3), STR_BAD_INDEX);

    EXPECT_EQ(mTable.ReleaseAll(), STR_SUCCESS);
    EXPECT_STREQ(mTable.GetString(0), L"zero");  // from the file again
}

TEST_F(StringResourceTest, EmptyObjectHasNothingToRelease) {
    EXPECT_EQ(mTable.GetString(0), nullptr);
    EXPECT_EQ(mTable.ReleaseString(0), STR_BAD_INDEX);
    ExpectEmpty(mTable);
}

// ------------------------------------- offsets and lengths beyond the file

struct DamagedTableCase {
    const char* name;
    std::function<void(StrFileImage&)> damage;
    int cacheResult;
    unsigned damagedIndex;
    const wchar_t* damagedText;  // what GetString reads for it from the file, if anything
};

void PrintTo(const DamagedTableCase& c, std::ostream* os) {
    *os << c.name;
}

const DamagedTableCase kDamagedTableCases[] = {
    {"LengthBeyondTheFile", [](StrFileImage& i) { i.lengths[2] = 500; }, STR_READ_FAILED, 2,
     nullptr},
    {"HugeLength", [](StrFileImage& i) { i.lengths[1] = 0xFFFFFFFF; }, STR_READ_FAILED, 1, nullptr},
    {"OffsetBeyondTheFile", [](StrFileImage& i) { i.offsets[2] = 0x7FFFFFF0; }, STR_BAD_OFFSETS, 2,
     nullptr},
    {"OffsetIntoTheTables", [](StrFileImage& i) { i.offsets[1] = 4; }, STR_BAD_OFFSETS, 1, nullptr},
    // The lengths add up to the string area, but one string runs past it.
    {"StringRunsPastTheArea",
     [](StrFileImage& i) {
         i.lengths[1] = 1;
         i.lengths[2] = 6;
         i.units.push_back(0);
         i.units.push_back(0);
     },
     STR_BAD_OFFSETS, 2, L"two"},
};

class StringResourceDamagedTables : public StringResourceTest,
                                    public ::testing::WithParamInterface<DamagedTableCase> {};

TEST_P(StringResourceDamagedTables, RefusesToReadOutsideTheFile) {
    StrFileImage image = ThreeStrings();
    GetParam().damage(image);
    Write(image);
    ASSERT_EQ(mTable.Initialize(kPath, 0), STR_SUCCESS);
    EXPECT_EQ(mTable.CacheAll(), GetParam().cacheResult);
    // The intact strings can still be read one by one.
    EXPECT_STREQ(mTable.GetString(0), L"zero");
    if (GetParam().damagedIndex != 2) {
        EXPECT_STREQ(mTable.GetString(2), L"two");
    }
    const wchar_t* damaged = mTable.GetString(GetParam().damagedIndex);
    if (GetParam().damagedText == nullptr) {
        EXPECT_EQ(damaged, nullptr);
    } else {
        EXPECT_STREQ(damaged, GetParam().damagedText);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, StringResourceDamagedTables,
                         ::testing::ValuesIn(kDamagedTableCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
