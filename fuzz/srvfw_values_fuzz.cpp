// What a user types on srvfw's command line: field names, the values that
// `fru set` encodes for each kind of field, manufacturing dates, and the
// words the argument parser takes option by option. Anything may be typed;
// srvfw must refuse what it cannot use with a usage failure, never read
// past a word or loop. A date it accepts must come back as the same bytes
// when written out again as srvfw documents the form.
//
// Input: byte 0 chooses what is parsed; the rest is split at NUL bytes into
// words.
//   0  a field name (word 0) and a value (word 1) through ParseFieldName and
//      EncodeValue; and the value for a fixed field of each kind
//   1  a manufacturing date (the rest as one word)
//   2  command-line words through Arguments; the first word is the script
//      of calls, one byte each (see RunScript)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host/frame/arguments.h"
#include "host/frame/failure.h"
#include "host/fru/fields.h"
#include "host/fru/values.h"

namespace {

std::vector<std::string> WordsOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else {
            words.back().push_back(static_cast<char>(data[i]));
        }
    }
    return words;
}

void Encode(const srvfw::FieldName& field, std::string_view value) {
    try {
        const std::vector<std::uint8_t> bytes = srvfw::EncodeValue(field, value);
        // One byte of chassis type, three of minutes: nothing else fits.
        if (field.kind == srvfw::FieldKind::kChassisType && bytes.size() != 1) std::abort();
        if (field.kind == srvfw::FieldKind::kMfgDate && bytes.size() != 3) std::abort();
        // Two hex digits make a byte; nothing comes from nowhere.
        if (field.kind == srvfw::FieldKind::kInternalData && bytes.size() > value.size() / 2) {
            std::abort();
        }
    } catch (const srvfw::Failure&) {
    }
}

void FieldAndValue(const std::vector<std::string>& words) {
    const std::string value = words.size() > 1 ? words[1] : std::string();
    if (const std::optional<srvfw::FieldName> field = srvfw::ParseFieldName(words[0])) {
        if (field->name.empty()) std::abort();
        Encode(*field, value);
    }
    // The value parsers are reached whatever the name: one fixed field of
    // each kind, and a custom text field.
    for (const srvfw::FixedField& fixed : srvfw::kFixedFields) {
        Encode({fixed.area, 0, fixed.kind, fixed.field, std::string(fixed.name)}, value);
    }
    Encode(srvfw::FieldAt(FRU_AREA_BOARD, 6), value);
}

// The date written back in the form srvfw documents for it.
std::string DateText(const std::array<std::uint8_t, 3>& bytes) {
    using namespace std::chrono;
    const unsigned minutes = bytes[0] | bytes[1] << 8 | bytes[2] << 16;
    const sys_time<std::chrono::minutes> when =
        sys_days(1996y / January / 1) + std::chrono::minutes(minutes);
    const sys_days day = floor<days>(when);
    const year_month_day date(day);
    const hh_mm_ss time(when - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()));
    return text;
}

void MfgDate(std::string_view text) {
    const auto bytes = srvfw::ParseMfgDate(text);
    if (!bytes) return;
    const auto again = srvfw::ParseMfgDate(DateText(*bytes));
    if (!again || *again != *bytes) std::abort();
}

// Names a script byte's high bits choose: some that the words may hold,
// and the edge cases of the option syntax.
constexpr std::string_view kNames[] = {"--json", "--dry-run", "--backup", "--sim",
                                       "--",     "-",         "",         "--a=b"};

// Each script byte: bits 2:0 the call, bits 5:3 the name.
void RunScript(std::string_view script, std::vector<std::string> words) {
    srvfw::Arguments arguments(words);
    std::size_t taken = 0;
    for (const char byte : script) {
        const auto code = static_cast<std::uint8_t>(byte);
        const std::string_view name = kNames[(code >> 3) & 7];
        try {
            switch (code & 7) {
                case 0:
                    if (arguments.TakeFlag(name)) ++taken;
                    break;
                case 1:
                    if (arguments.TakeValue(name)) ++taken;
                    break;
                case 2:
                    if (arguments.TakeWord()) ++taken;
                    break;
                case 3:
                    arguments.TakeWord("a word");
                    ++taken;
                    break;
                case 4:
                    taken += arguments.TakeWords().size();
                    break;
                default:
                    arguments.ExpectNoMore();
                    break;
            }
        } catch (const srvfw::Failure&) {
        }
        // Every call takes a word of its own at least; none makes words.
        if (taken > words.size()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<std::string> words = WordsOf(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            FieldAndValue(words);
            break;
        case 1:
            MfgDate(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
            break;
        default: {
            const std::string script = words.front();
            words.erase(words.begin());
            RunScript(script, std::move(words));
            break;
        }
    }
    return 0;
}
