#include "host/sdr/selection.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "host/frame/failure.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// Record IDs are hex as the list shows them: "0001", "1", "0x1" or "1h".
std::optional<unsigned> ParseRecordId(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    } else if (text.ends_with('h') || text.ends_with('H')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned id = 0;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        id = id * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                                 ? c - '0'
                                                 : std::tolower(c) - 'a' + 10);
    }
    return id;
}

bool HasWord(const std::string& name, const std::string& word) {
    const std::string lower = Lower(name);
    for (std::size_t at = lower.find(word); at != std::string::npos;
         at = lower.find(word, at + 1)) {
        const bool startsWord = at == 0 || !std::isalnum(static_cast<unsigned char>(lower[at - 1]));
        const std::size_t end = at + word.size();
        const bool endsWord =
            end == lower.size() || !std::isalnum(static_cast<unsigned char>(lower[end]));
        if (startsWord && endsWord) return true;
    }
    return false;
}

bool OfType(const SdrRecord& record, const RecordChoice& choice) {
    if (choice.typeNumber) return record.type == *choice.typeNumber;
    if (choice.typeWord) return HasWord(record.typeName, *choice.typeWord);
    return true;
}

}  // namespace

RecordChoice TakeRecordChoice(Arguments& arguments) {
    RecordChoice choice;
    if (const auto type = arguments.TakeValue("--type")) {
        if (type->empty()) throw Failure(ExitCode::kUsage, "--type needs a type");
        if (const auto number = ParseNumber(*type, 0xFF)) {
            choice.typeNumber = *number;
        } else {
            choice.typeWord = Lower(*type);
        }
    }
    for (const std::string& word : arguments.TakeWords()) {
        const auto id = ParseRecordId(word);
        if (!id) {
            throw Failure(ExitCode::kUsage,
                          "\"" + ValidUtf8(word) + "\" is not a record ID (hex, as 0001 or 1Ah)");
        }
        choice.ids.push_back(*id);
    }
    return choice;
}

std::vector<SdrRecord> Chosen(const std::vector<SdrRecord>& records, const RecordChoice& choice) {
    if (choice.typeWord && std::none_of(records.begin(), records.end(),
                                        [&](const SdrRecord& r) { return OfType(r, choice); })) {
        throw Failure(ExitCode::kUsage, "no record's type is named \"" +
                                            ValidUtf8(*choice.typeWord) +
                                            "\" (\"srvfw sdr list\" shows the types)");
    }
    std::vector<SdrRecord> chosen;
    if (choice.ids.empty()) {
        std::copy_if(records.begin(), records.end(), std::back_inserter(chosen),
                     [&](const SdrRecord& record) { return OfType(record, choice); });
        return chosen;
    }
    for (const unsigned id : choice.ids) {
        const auto found = std::find_if(records.begin(), records.end(), [&](const SdrRecord& r) {
            return r.Id() == id && OfType(r, choice);
        });
        if (found == records.end()) {
            char text[8];
            std::snprintf(text, sizeof text, "%04X", id);
            throw Failure(ExitCode::kUsage,
                          std::string("the SDR repository holds no record ") + text + "h" +
                              (choice.typeNumber || choice.typeWord ? " of that type" : ""));
        }
        chosen.push_back(*found);
    }
    return chosen;
}

}  // namespace srvfw
