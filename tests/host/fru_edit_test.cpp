// Planning changes to a FRU before the library is asked for any: what a
// FRU file changes in the FRU on the server, which layouts cannot be
// copied (refused with every reason named), which requested fields the FRU
// lacks, and what differs between two readings.
#include <gtest/gtest.h>

#include <functional>
#include <span>

#include "host/frame/failure.h"
#include "host/fru/edit.h"

namespace srvfw {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// An info area's image as the fixtures stand it in: a byte of each value's
// length, the value's bytes, padded to 64 bytes.
Bytes StandInImage(const AreaSnapshot& area) {
    Bytes image;
    for (const FieldSnapshot& field : area.fields) {
        image.push_back(static_cast<std::uint8_t>(field.raw.size()));
        image.insert(image.end(), field.raw.begin(), field.raw.end());
    }
    image.resize(64, 0);
    return image;
}

AreaSnapshot InfoArea(FRU_AREA area, const std::vector<std::string>& values) {
    AreaSnapshot snapshot{area, "area", {}, {}, 10};
    for (std::uint32_t position = 0; position < values.size(); ++position) {
        snapshot.fields.push_back({FieldAt(area, position),
                                   "title",
                                   values[position],
                                   {},
                                   BytesOf(values[position]),
                                   {}});
    }
    snapshot.data = StandInImage(snapshot);
    return snapshot;
}

AreaSnapshot DataArea(FRU_AREA area, const Bytes& data) {
    AreaSnapshot snapshot{area, "area", {}, data, std::nullopt};
    if (area == FRU_AREA_INTERNAL) {
        snapshot.fields.push_back({FieldAt(area, 0), "title", "hex", {}, data, {}});
    }
    return snapshot;
}

// Internal use, board (two custom fields), product and multi-record areas.
FruSnapshot Sample() {
    FruSnapshot fru;
    fru.header = {0x01, 0x01, 0x00, 0x02, 0x0F, 0x1E, 0x00, 0xCF};
    fru.areas.push_back(DataArea(FRU_AREA_INTERNAL, {0x01, 0x4B, 0x53, 0x00}));
    fru.areas.push_back(InfoArea(FRU_AREA_BOARD, {"date", "Kestrel", "KS2200", "SN1", "PN1",
                                                  "FRU 1.04", "REV A03", "extra"}));
    fru.areas.push_back(
        InfoArea(FRU_AREA_PRODUCT, {"Kestrel", "Server", "PN", "A03", "SN", "", "FRU 1.04"}));
    fru.areas.push_back(DataArea(FRU_AREA_MULTIREC, Bytes(20, 0x11)));
    return fru;
}

AreaSnapshot& AreaOf(FruSnapshot& fru, FRU_AREA area) {
    return *const_cast<AreaSnapshot*>(fru.Find(area));
}

void SetField(FruSnapshot& fru, const char* name, const std::string& value) {
    const FieldName field = *ParseFieldName(name);
    FieldSnapshot& snapshot = AreaOf(fru, field.area).fields[field.position];
    snapshot.text = value;
    snapshot.raw = BytesOf(value);
    AreaOf(fru, field.area).data = StandInImage(AreaOf(fru, field.area));
}

std::string RefusalOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Code(), ExitCode::kDoesNotFit);
        return failure.what();
    }
    ADD_FAILURE() << "nothing refused";
    return {};
}

TEST(FruFromFile, AnEqualFileChangesNothing) {
    EXPECT_TRUE(ChangesFromFile(Sample(), Sample()).empty());
}

TEST(FruFromFile, EveryDifferingFieldAndAreaIsCopiedInHeaderOrder) {
    FruSnapshot file = Sample();
    AreaOf(file, FRU_AREA_MULTIREC).data = Bytes(12, 0x22);  // shorter: it still fits
    SetField(file, "product.asset_tag", "ASSET-7");
    SetField(file, "board.custom.1", "second");
    SetField(file, "board.manufacturer", "ACME");
    AreaOf(file, FRU_AREA_INTERNAL).data = {0x01, 0x4B, 0x53, 0x07};

    // Info areas go over whole, so that every field keeps the type/length
    // byte the file gives it.
    const std::vector<Change> changes = ChangesFromFile(Sample(), file);
    std::vector<std::string> names;
    for (const Change& change : changes) names.push_back(change.Name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"internal.data", "board", "product", "multirecord"}));
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].bytes, (Bytes{0x01, 0x4B, 0x53, 0x07}));
    EXPECT_EQ(changes[1].bytes, AreaOf(file, FRU_AREA_BOARD).data);
    EXPECT_FALSE(changes[1].field);
    EXPECT_EQ(changes[2].bytes, AreaOf(file, FRU_AREA_PRODUCT).data);
    EXPECT_EQ(changes[3].bytes, Bytes(12, 0x22));
    EXPECT_FALSE(changes[3].field);
}

TEST(FruFromFile, OtherLayoutsAreRefusedWithTheirReasons) {
    struct Case {
        std::function<void(FruSnapshot&)> change;  // to the file
        std::string reason;
    };
    const Case cases[] = {
        {[](FruSnapshot& f) { f.areas.erase(f.areas.begin()); },
         "the FRU has an internal use area and the file has none"},
        {[](FruSnapshot& f) {
             f.areas.insert(f.areas.begin() + 1, InfoArea(FRU_AREA_CHASSIS, {"x", "PN", "SN"}));
         },
         "the file has a chassis area and the FRU has none"},
        {[](FruSnapshot& f) { AreaOf(f, FRU_AREA_BOARD).fields.pop_back(); },
         "the board area has 1 custom field in the file and 2 custom fields in the FRU"},
        {[](FruSnapshot& f) { AreaOf(f, FRU_AREA_INTERNAL).data.push_back(0); },
         "the internal use area holds 5 bytes in the file and 4 in the FRU"},
        {[](FruSnapshot& f) { AreaOf(f, FRU_AREA_PRODUCT).data.resize(72); },
         "the product area holds 72 bytes in the file and 64 in the FRU"},
        {[](FruSnapshot& f) { AreaOf(f, FRU_AREA_MULTIREC).data = Bytes(21, 0x11); },
         "the multi-record area holds 21 bytes in the file and 20 in the FRU"},
    };
    for (const Case& c : cases) {
        FruSnapshot file = Sample();
        c.change(file);
        EXPECT_NE(RefusalOf([&] { ChangesFromFile(Sample(), file); }).find(c.reason),
                  std::string::npos)
            << c.reason;
    }
    // All reasons at once (but the first, which takes the area the fourth
    // changes), so that one run tells the whole story.
    FruSnapshot file = Sample();
    for (const Case& c : std::span(cases).subspan(1)) c.change(file);
    const std::string all = RefusalOf([&] { ChangesFromFile(Sample(), file); });
    for (const Case& c : std::span(cases).subspan(1)) {
        EXPECT_NE(all.find(c.reason), std::string::npos) << all;
    }
}

TEST(FruChecks, FieldsTheFruLacksAreRefusedBeforeAnyCall) {
    const auto change = [](const char* name, Bytes bytes) {
        const FieldName field = *ParseFieldName(name);
        return Change{field.area, field, std::move(bytes)};
    };
    const std::pair<Change, std::string> cases[] = {
        {change("chassis.part_number", BytesOf("x")),
         "chassis.part_number: this FRU has no chassis area"},
        {change("board.custom.2", BytesOf("x")),
         "board.custom.2: the board area has 2 custom "
         "fields"},
        {change("product.custom.0", BytesOf("x")),
         "product.custom.0: the product area has 0 custom fields"},
        {change("internal.data", {1, 2, 3}),
         "internal.data: the internal use area holds 4 bytes; give exactly that many"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RefusalOf([&] { CheckFits(Sample(), {c.first}); }), c.second);
    }
    EXPECT_NO_THROW(CheckFits(
        Sample(), {change("board.custom.1", BytesOf("x")), change("internal.data", {1, 2, 3, 4})}));
    EXPECT_EQ(RefusalOf([&] { FindField(Sample(), *ParseFieldName("chassis.type")); }),
              "chassis.type: this FRU has no chassis area");
    EXPECT_EQ(FindField(Sample(), *ParseFieldName("board.custom.1")).raw, BytesOf("extra"));
}

TEST(FruChecks, ValuesEqualToTheFrusChangeNothing) {
    const FieldName tag = *ParseFieldName("product.asset_tag");
    const FieldName name = *ParseFieldName("product.name");
    EXPECT_TRUE(
        ChangesNothing(Sample(), {{tag.area, tag, {}}, {name.area, name, BytesOf("Server")}}));
    EXPECT_FALSE(ChangesNothing(Sample(), {{tag.area, tag, {}}, {name.area, name, BytesOf("x")}}));
    EXPECT_FALSE(ChangesNothing(Sample(), {{FRU_AREA_MULTIREC, std::nullopt, Bytes(20, 0)}}));
}

TEST(FruDifferences, NameWhatReadsDifferently) {
    FruSnapshot after = Sample();
    after.header[7] ^= 0xFF;
    SetField(after, "product.asset_tag", "ASSET-7");
    AreaOf(after, FRU_AREA_MULTIREC).data.pop_back();
    after.areas.insert(after.areas.begin() + 1, InfoArea(FRU_AREA_CHASSIS, {"x", "PN", "SN"}));

    const std::vector<Difference> differences = Differences(Sample(), after);
    ASSERT_EQ(differences.size(), 4u);
    EXPECT_EQ(differences[0].name, "header");
    EXPECT_EQ(differences[1].name, "chassis");
    EXPECT_TRUE(differences[1].oldBytes.empty());
    EXPECT_EQ(differences[2].name, "product.asset_tag");
    EXPECT_EQ(differences[2].oldText, "");
    EXPECT_EQ(differences[2].newText, "ASSET-7");
    EXPECT_EQ(differences[2].newBytes, BytesOf("ASSET-7"));
    EXPECT_EQ(differences[3].name, "multirecord");
    EXPECT_EQ(differences[3].newBytes.size(), 19u);
    EXPECT_TRUE(Differences(Sample(), Sample()).empty());
}

}  // namespace
}  // namespace srvfw
