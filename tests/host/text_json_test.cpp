// Text conversions and JSON output: what a script reads must be valid UTF-8
// and valid JSON whatever bytes a FRU field or a user's argument holds.
#include <gtest/gtest.h>

#include <sstream>

#include "host/frame/json_writer.h"
#include "host/frame/text.h"

namespace srvfw {
namespace {

TEST(Text, WideTextBecomesUtf8AndNonCharactersBecomeReplacements) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"Asset", "Asset"},
        {L"Gr\u00FC\u00DFe",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {L"\u20AC", "\xE2\x82\xAC"},
        {std::wstring(1, wchar_t(0x1F600)), "\xF0\x9F\x98\x80"},
        {std::wstring(1, wchar_t(0xD800)), "\xEF\xBF\xBD"},    // a lone surrogate
        {std::wstring(1, wchar_t(0x110000)), "\xEF\xBF\xBD"},  // past Unicode
    };
    for (const auto& [wide, utf8] : cases) EXPECT_EQ(ToUtf8(wide), utf8);
    EXPECT_EQ(ToUtf8(static_cast<const wchar_t*>(nullptr)), "");
}

TEST(Text, InvalidUtf8IsReplacedByteByByte) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"\xC3\xBC", "\xC3\xBC"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // an overlong "/"
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
        {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ValidUtf8(in), out) << in;
}

TEST(Text, HexBothWays) {
    const std::vector<std::uint8_t> bytes{0x01, 0xAB, 0x00, 0xFF};
    EXPECT_EQ(Hex(bytes), "01 AB 00 FF");
    EXPECT_EQ(Hex({}), "");
    EXPECT_EQ(ParseHex("01 AB 00 FF"), bytes);
    EXPECT_EQ(ParseHex("01ab00ff"), bytes);
    EXPECT_EQ(ParseHex(""), std::vector<std::uint8_t>{});
    for (const char* bad : {"1", "01 A", "0 1", "0G", "01,02"}) {
        EXPECT_EQ(ParseHex(bad), std::nullopt) << bad;
    }
}

TEST(Text, NumbersInDecimalOrIpmiHex) {
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"32", 32},   {"0x20", 32}, {"0X20", 32},  {"20h", 32}, {"A8h", 0xA8},
        {"255", 255}, {"256", {}},  {"0x100", {}}, {"", {}},    {"0x", {}},
        {"h", {}},    {"-1", {}},   {"1a", {}},    {"12 ", {}},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseNumber(text, 255), value) << text;
}

TEST(Text, PrintableEscapesWhatWouldMoveTheTerminal) {
    const std::pair<std::string, std::string> cases[] = {
        {"Rack 1", "Rack 1"},
        {"a\nb", "a\\x0Ab"},
        {"\x1B[2J", "\\x1B[2J"},
        {"del\x7F", "del\\x7F"},
        {"\xC2\x9B"
         "1m",
         "\\x9B1m"},  // U+009B, a C1 control sequence introducer
        {"back\\slash", "back\\\\slash"},
        {"\xC3\xBC", "\xC3\xBC"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Printable(in), out) << in;
}

TEST(Json, StringsAreEscapedAndValidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\fru", "\"C:\\\\fru\""},
        {"a\nb\tc\rd\be\ff", "\"a\\nb\\tc\\rd\\be\\ff\""},
        {std::string("\x01\x1F", 2), "\"\\u0001\\u001f\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\xC3\xBC", "\"\xC3\xBC\""},
        {"bad\xFF", "\"bad\xEF\xBF\xBD\""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(JsonQuoted(in), out);
}

TEST(Json, WriterKeepsCommasAndNesting) {
    std::ostringstream indented;
    JsonWriter json(indented);
    json.BeginObject().Key("a").Number(1).Key("list").BeginArray().String("x").Bool(true).Null();
    json.EndArray().Key("empty").BeginObject().EndObject().Key("none").BeginArray().EndArray();
    json.Key("maybe").StringOrNull(std::nullopt).EndObject().Finish();
    EXPECT_EQ(indented.str(),
              "{\n  \"a\": 1,\n  \"list\": [\n    \"x\",\n    true,\n    null\n  ],\n"
              "  \"empty\": {},\n  \"none\": [],\n  \"maybe\": null\n}\n");

    std::ostringstream line;
    JsonWriter oneLine(line, JsonWriter::Layout::kOneLine);
    oneLine.BeginObject().Key("n").BeginArray().Number(-1).Number(2).EndArray();
    oneLine.Key("s").String("t").EndObject().Finish();
    EXPECT_EQ(line.str(), "{\"n\":[-1,2],\"s\":\"t\"}\n");
}

}  // namespace
}  // namespace srvfw
