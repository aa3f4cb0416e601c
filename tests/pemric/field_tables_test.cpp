#include <gtest/gtest.h>

#include <set>
#include <span>
#include <vector>

#include "pemric/records/field_string_tokens.h"
#include "pemric/records/sdr_type02.h"

using namespace Pemric_Private;

namespace {

const std::vector<std::span<const FieldStringToken>> kTables = {
    FieldStringTokens,        CSdrType02::FieldStringTokens, Type03_FieldStringTokens,
    Type08_FieldStringTokens, Type09_FieldStringTokens,      Type10_FieldStringTokens,
    Type11_FieldStringTokens, Type12_FieldStringTokens,      Type13_FieldStringTokens,
    Type14_FieldStringTokens, TypeC0_FieldStringTokens};

// Titles and locations have ID ranges of their own in the string file; an ID
// outside them would show a code table's text or a format as a title.
TEST(FieldTables, UseOnlyTitleAndLocationIds) {
    std::set<unsigned> locationsUsed;
    for (std::span<const FieldStringToken> table : kTables) {
        ASSERT_GE(table.size(), 4u);
        EXPECT_EQ(table[0].titleId, 159u);
        EXPECT_EQ(table[0].locationId, 268u);
        EXPECT_EQ(table[3].titleId, 162u);
        EXPECT_EQ(table[3].locationId, 271u);
        for (const FieldStringToken& field : table) {
            EXPECT_GE(field.titleId, 159u);
            EXPECT_LE(field.titleId, 267u);
            // 203 and 204 are code texts inside the title range.
            EXPECT_NE(field.titleId, 203u);
            EXPECT_NE(field.titleId, 204u);
            EXPECT_GE(field.locationId, 268u);
            EXPECT_LE(field.locationId, 334u);
            locationsUsed.insert(field.locationId);
        }
    }
    // Every location text names a place some field sits.
    EXPECT_EQ(locationsUsed.size(), 334u - 268u + 1u);
}

}  // namespace
