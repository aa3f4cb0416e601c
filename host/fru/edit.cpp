#include "host/fru/edit.h"

#include <algorithm>
#include <numeric>

#include "host/frame/text.h"

namespace srvfw {

namespace {

// The most bytes a type/length field can announce.
constexpr std::uint32_t kMaxFieldBytes = 63;

std::string AreaWords(FRU_AREA area) {
    return area == FRU_AREA_INTERNAL   ? "internal use area"
           : area == FRU_AREA_MULTIREC ? "multi-record area"
                                       : std::string(AreaKindOf(area).key) + " area";
}

std::string WithArticle(const std::string& words) {
    return (words.front() == 'i' ? "an " : "a ") + words;
}

std::string CustomFieldsWords(std::size_t count) {
    return count == 1 ? "1 custom field" : std::to_string(count) + " custom fields";
}

std::string Joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& problem : problems) text += (text.empty() ? "" : "; ") + problem;
    return text;
}

// What a change replaces, in the FRU as it was read.
const std::vector<std::uint8_t>* OldBytes(const FruSnapshot& fru, const Change& change) {
    if (change.field) {
        const FieldSnapshot* field = fru.Find(*change.field);
        return field != nullptr ? &field->raw : nullptr;
    }
    const AreaSnapshot* area = fru.Find(change.area);
    return area != nullptr ? &area->data : nullptr;
}

std::int64_t Growth(const FruSnapshot& fru, const Change& change) {
    const std::vector<std::uint8_t>* old = OldBytes(fru, change);
    return std::int64_t(change.bytes.size()) - std::int64_t(old != nullptr ? old->size() : 0);
}

void CompareFields(const AreaSnapshot& before, const AreaSnapshot& after,
                   std::vector<Difference>& differences) {
    const std::size_t count = std::max(before.fields.size(), after.fields.size());
    for (std::size_t i = 0; i < count; ++i) {
        const FieldSnapshot* old = i < before.fields.size() ? &before.fields[i] : nullptr;
        const FieldSnapshot* now = i < after.fields.size() ? &after.fields[i] : nullptr;
        if (old != nullptr && now != nullptr && old->raw == now->raw && old->text == now->text &&
            old->encoding == now->encoding) {
            continue;
        }
        const FieldSnapshot& either = now != nullptr ? *now : *old;
        Difference difference{either.field.name, either.title, {}, {}, {}, {}, {}, {}};
        if (old != nullptr) {
            difference.oldText = old->text;
            difference.oldBytes = old->raw;
            difference.oldEncoding = old->encoding;
        }
        if (now != nullptr) {
            difference.newText = now->text;
            difference.newBytes = now->raw;
            difference.newEncoding = now->encoding;
        }
        differences.push_back(std::move(difference));
    }
}

// Why the FRU has no such field or area; empty when it has.
std::string Missing(const FruSnapshot& fru, FRU_AREA area, const std::optional<FieldName>& field) {
    const std::string name = field ? field->name : std::string(AreaKindOf(area).key);
    const AreaSnapshot* found = fru.Find(area);
    if (found == nullptr) return name + ": this FRU has no " + AreaWords(area);
    if (field && field->kind != FieldKind::kInternalData &&
        field->position >= found->fields.size()) {
        const std::uint32_t fixed = AreaKindOf(area).fixedFields;
        return name + ": the " + AreaWords(area) + " has " +
               CustomFieldsWords(found->fields.size() - fixed);
    }
    return {};
}

}  // namespace

std::string Change::Name() const {
    return field ? field->name : std::string(AreaKindOf(area).key);
}

const FieldSnapshot& FindField(const FruSnapshot& fru, const FieldName& field) {
    const std::string missing = Missing(fru, field.area, field);
    if (!missing.empty()) throw Failure(ExitCode::kDoesNotFit, missing);
    const FieldSnapshot* found = fru.Find(field);
    // An internal use area without bytes has no field to show.
    if (found == nullptr) throw Failure(ExitCode::kDoesNotFit, field.name + ": the area is empty");
    return *found;
}

void CheckFits(const FruSnapshot& fru, const std::vector<Change>& changes) {
    std::vector<std::string> problems;
    for (const Change& change : changes) {
        std::string missing = Missing(fru, change.area, change.field);
        if (missing.empty() && change.field && change.field->kind == FieldKind::kInternalData &&
            change.bytes.size() != fru.Find(change.area)->data.size()) {
            missing = change.Name() + ": the internal use area holds " +
                      std::to_string(fru.Find(change.area)->data.size()) +
                      " bytes; give exactly that many";
        }
        if (!missing.empty()) problems.push_back(std::move(missing));
    }
    if (!problems.empty()) throw Failure(ExitCode::kDoesNotFit, Joined(problems));
}

bool ChangesNothing(const FruSnapshot& fru, const std::vector<Change>& changes) {
    return std::all_of(changes.begin(), changes.end(), [&fru](const Change& change) {
        if (change.text) {
            const FieldSnapshot* old = fru.Find(*change.field);
            return old != nullptr && old->text == ToUtf8(*change.text);
        }
        const std::vector<std::uint8_t>* old = OldBytes(fru, change);
        return old != nullptr && *old == change.bytes;
    });
}

namespace {

// Hands one change to the library (the FRU selected); its status.
std::uint32_t Hand(FruLibrary& library, const FruSnapshot& before, const Change& change) {
    // The library refuses a null value even when it is empty.
    static constexpr std::uint8_t kEmpty = 0;
    const std::uint8_t* bytes = change.bytes.empty() ? &kEmpty : change.bytes.data();
    const auto length = static_cast<std::uint32_t>(change.bytes.size());
    library.Call("selecting the " + AreaWords(change.area), &EFI_FRU_INTERFACE::SelectAreaEnum,
                 change.area);
    if (!change.field || change.field->kind == FieldKind::kInternalData) {
        return library.Try("SetAreaData", &EFI_FRU_INTERFACE::SetAreaData, bytes, length);
    }
    const FieldName& field = *change.field;
    if (field.fixed) {
        library.Call("selecting " + field.name, &EFI_FRU_INTERFACE::SelectFieldEnum, *field.fixed);
    } else {
        const auto count = static_cast<std::uint32_t>(before.Find(change.area)->fields.size());
        library.Call("selecting " + field.name, &EFI_FRU_INTERFACE::SelectFieldInteger,
                     IndicesOf(field, count).text);
    }
    if (change.text) {
        return library.Try("SetFieldStringValue", &EFI_FRU_INTERFACE::SetFieldStringValue,
                           change.text->c_str());
    }
    return library.Try("SetFieldDataValue", &EFI_FRU_INTERFACE::SetFieldDataValue, bytes, length);
}

// A refused change, with the room a text field had: the library's message
// names the area only.
Failure Refused(FruLibrary& library, const FruSnapshot& before, const Change& change,
                std::uint32_t status) {
    const Failure refused =
        library.Fail(ExitCode::kLibraryCall, "setting " + change.Name(), status);
    std::string room;
    std::uint32_t free = 0;
    if (change.field && change.field->kind == FieldKind::kText &&
        library.Try("GetMaxFieldSize", &EFI_FRU_INTERFACE::GetMaxFieldSize, &free) == 0) {
        const auto most =
            std::min<std::uint64_t>(kMaxFieldBytes, OldBytes(before, change)->size() + free);
        // The room matters only to a value that does not fit.
        if (change.bytes.size() > most) {
            room = "The value has " + std::to_string(change.bytes.size()) + " bytes and " +
                   change.Name() + " can take " + std::to_string(most) + " in this FRU. ";
        }
    }
    return refused.With(room + "Nothing was written to the FRU.");
}

}  // namespace

void Apply(FruLibrary& library, FruHandle fru, const FruSnapshot& before,
           const std::vector<Change>& changes) {
    std::vector<std::size_t> order(changes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return Growth(before, changes[a]) < Growth(before, changes[b]);
    });
    SelectFru(library, fru);
    for (const std::size_t i : order) {
        const std::uint32_t status = Hand(library, before, changes[i]);
        if (status != 0) throw Refused(library, before, changes[i], status);
    }
}

std::vector<Change> ChangesFromFile(const FruSnapshot& system, const FruSnapshot& file) {
    std::vector<std::string> problems;
    std::vector<Change> changes;
    for (const AreaKind& kind : kAreaKinds) {
        const AreaSnapshot* ours = system.Find(kind.area);
        const AreaSnapshot* theirs = file.Find(kind.area);
        const std::string area = AreaWords(kind.area);
        if (ours == nullptr && theirs == nullptr) continue;
        if (ours == nullptr || theirs == nullptr) {
            problems.push_back(ours == nullptr
                                   ? "the file has " + WithArticle(area) + " and the FRU has none"
                                   : "the FRU has " + WithArticle(area) + " and the file has none");
            continue;
        }
        if (kind.area == FRU_AREA_INTERNAL || kind.area == FRU_AREA_MULTIREC) {
            // The internal use area cannot change its length; the multi-record
            // area, written last, may shrink but not grow past what the FRU
            // holds now.
            const bool fits = kind.area == FRU_AREA_INTERNAL
                                  ? theirs->data.size() == ours->data.size()
                                  : theirs->data.size() <= ours->data.size();
            if (!fits) {
                problems.push_back("the " + area + " holds " + std::to_string(theirs->data.size()) +
                                   " bytes in the file and " + std::to_string(ours->data.size()) +
                                   " in the FRU");
            } else if (theirs->data != ours->data) {
                changes.push_back({kind.area,
                                   kind.area == FRU_AREA_INTERNAL
                                       ? std::optional(FieldAt(kind.area, 0))
                                       : std::nullopt,
                                   theirs->data});
            }
            continue;
        }
        if (theirs->fields.size() != ours->fields.size()) {
            problems.push_back(
                "the " + area + " has " +
                CustomFieldsWords(theirs->fields.size() - kind.fixedFields) + " in the file and " +
                CustomFieldsWords(ours->fields.size() - kind.fixedFields) + " in the FRU");
            continue;
        }
        if (theirs->data.size() != ours->data.size()) {
            problems.push_back("the " + area + " holds " + std::to_string(theirs->data.size()) +
                               " bytes in the file and " + std::to_string(ours->data.size()) +
                               " in the FRU");
            continue;
        }
        // The area goes over whole, so that every field keeps the
        // type/length byte the file gives it (6-bit, BCD plus, binary).
        if (theirs->data != ours->data) changes.push_back({kind.area, std::nullopt, theirs->data});
    }
    if (!problems.empty()) {
        throw Failure(ExitCode::kDoesNotFit,
                      "the file's FRU does not fit the FRU on the server: " + Joined(problems));
    }
    return changes;
}

std::vector<Difference> Differences(const FruSnapshot& before, const FruSnapshot& after) {
    std::vector<Difference> differences;
    if (before.header != after.header) {
        differences.push_back(
            {"header", "Common Header", {}, before.header, {}, after.header, {}, {}});
    }
    for (const AreaKind& kind : kAreaKinds) {
        const AreaSnapshot* old = before.Find(kind.area);
        const AreaSnapshot* now = after.Find(kind.area);
        if (old == nullptr && now == nullptr) continue;
        if (old == nullptr || now == nullptr || kind.area == FRU_AREA_MULTIREC) {
            const AreaSnapshot& either = now != nullptr ? *now : *old;
            const std::vector<std::uint8_t> none;
            const auto& oldData = old != nullptr ? old->data : none;
            const auto& newData = now != nullptr ? now->data : none;
            if (old != nullptr && now != nullptr && oldData == newData) continue;
            differences.push_back(
                {std::string(kind.key), either.name, {}, oldData, {}, newData, {}, {}});
            continue;
        }
        CompareFields(*old, *now, differences);
    }
    return differences;
}

}  // namespace srvfw
