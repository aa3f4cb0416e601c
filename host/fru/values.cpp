#include "host/fru/values.h"

#include <algorithm>
#include <chrono>

#include "host/frame/failure.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

constexpr std::uint32_t kMaxMinutes = 0xFFFFFF;

// Exactly `digits` decimal digits at `at`.
std::optional<unsigned> Digits(std::string_view text, std::size_t at, std::size_t digits) {
    if (text.size() < at + digits) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<std::array<std::uint8_t, 3>> ParseMfgDate(std::string_view text) {
    using namespace std::chrono;
    // YYYY-MM-DD
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
    unsigned hours = 0, minutes = 0;
    if (text.size() > 10) {
        // [ T]HH:MM, then :00 at most: the field holds whole minutes.
        const auto hh = Digits(text, 11, 2), mm = Digits(text, 14, 2);
        if ((text[10] != ' ' && text[10] != 'T') || !hh || !mm || text[13] != ':') {
            return std::nullopt;
        }
        if (text.size() != 16 && !(text.size() == 19 && text.substr(16) == ":00")) {
            return std::nullopt;
        }
        if (*hh > 23 || *mm > 59) return std::nullopt;
        hours = *hh, minutes = *mm;
    }
    const year_month_day date{std::chrono::year(static_cast<int>(*year)),
                              std::chrono::month(*month), std::chrono::day(*day)};
    if (!date.ok()) return std::nullopt;
    const sys_days epoch = 1996y / January / 1;
    const auto since =
        sys_days(date) - epoch + std::chrono::hours(hours) + std::chrono::minutes(minutes);
    const auto count = duration_cast<std::chrono::minutes>(since).count();
    if (count < 0 || count > kMaxMinutes) return std::nullopt;
    const auto value = static_cast<std::uint32_t>(count);
    return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(value),
                                       static_cast<std::uint8_t>(value >> 8),
                                       static_cast<std::uint8_t>(value >> 16)};
}

std::wstring TextValue(const FieldName& field, std::string_view value) {
    std::optional<std::wstring> text = FromUtf8(value);
    if (!text) {
        throw Failure(ExitCode::kUsage,
                      field.name + " takes text in UTF-8; the value given is not");
    }
    return std::move(*text);
}

std::vector<std::uint8_t> EncodeValue(const FieldName& field, std::string_view value) {
    switch (field.kind) {
        case FieldKind::kMfgDate:
            // Zero minutes is the format's "unspecified".
            if (value == kUnspecifiedDate) return {0, 0, 0};
            if (const auto date = ParseMfgDate(value)) return {date->begin(), date->end()};
            throw Failure(ExitCode::kUsage,
                          field.name +
                              " takes a UTC date and time \"YYYY-MM-DD HH:MM\" from "
                              "1996-01-01 00:00 to 2027-11-24 20:15, or \"unspecified\", not \"" +
                              std::string(value) + "\"");
        case FieldKind::kChassisType:
            if (const auto type = ParseNumber(value, 0xFF)) {
                return {static_cast<std::uint8_t>(*type)};
            }
            throw Failure(ExitCode::kUsage, field.name +
                                                " takes a chassis type number (23 is "
                                                "rack mount), not \"" +
                                                std::string(value) + "\"");
        case FieldKind::kInternalData:
            if (const auto bytes = ParseHex(value); bytes && !bytes->empty()) return *bytes;
            throw Failure(ExitCode::kUsage, field.name +
                                                " takes hex bytes such as \"4B 53 01\", not \"" +
                                                std::string(value) + "\"");
        case FieldKind::kText: {
            // The bytes 8-bit text takes: one for each Latin-1 character.
            // Text beyond Latin-1, which the library refuses, keeps its
            // UTF-8 bytes.
            const std::wstring text = TextValue(field, value);
            if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c <= 0xFF; })) {
                return {text.begin(), text.end()};
            }
            break;
        }
    }
    return {value.begin(), value.end()};
}

}  // namespace srvfw
