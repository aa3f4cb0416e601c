#include "host/fru/fields.h"

#include "host/frame/text.h"

namespace srvfw {

namespace {

constexpr std::string_view kCustom = ".custom.";
// More than an area of at most 2040 bytes can hold.
constexpr std::uint32_t kMaxCustomNumber = 1000;

const FixedField* FixedFieldAt(FRU_AREA area, std::uint32_t position) {
    std::uint32_t seen = 0;
    for (const FixedField& field : kFixedFields) {
        if (field.area != area) continue;
        if (seen++ == position) return &field;
    }
    return nullptr;
}

FieldName FromFixed(const FixedField& field, std::uint32_t position) {
    return {field.area, position, field.kind, field.field, std::string(field.name)};
}

}  // namespace

const AreaKind& AreaKindOf(FRU_AREA area) {
    for (const AreaKind& kind : kAreaKinds) {
        if (kind.area == area) return kind;
    }
    return kAreaKinds[0];
}

std::optional<FieldName> ParseFieldName(std::string_view name) {
    for (const AreaKind& area : kAreaKinds) {
        for (std::uint32_t position = 0; position < area.fixedFields; ++position) {
            const FixedField* field = FixedFieldAt(area.area, position);
            if (field->name == name) return FromFixed(*field, position);
        }
        if (!area.customFields) continue;
        const std::string prefix = std::string(area.key) + std::string(kCustom);
        if (!name.starts_with(prefix)) continue;
        const std::string_view number = name.substr(prefix.size());
        // Plain decimal only: "board.custom.0x1" would be a surprise.
        if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) {
            return std::nullopt;
        }
        const auto custom = ParseNumber(number, kMaxCustomNumber);
        if (!custom) return std::nullopt;
        return FieldAt(area.area, area.fixedFields + *custom);
    }
    return std::nullopt;
}

FieldName FieldAt(FRU_AREA area, std::uint32_t position) {
    const AreaKind& kind = AreaKindOf(area);
    if (position < kind.fixedFields) return FromFixed(*FixedFieldAt(area, position), position);
    return {
        area, position, FieldKind::kText, std::nullopt,
        std::string(kind.key) + std::string(kCustom) + std::to_string(position - kind.fixedFields)};
}

FieldIndices IndicesOf(const FieldName& field, std::uint32_t fieldCount) {
    const std::uint32_t fixed = AreaKindOf(field.area).fixedFields;
    if (field.position < fixed || field.position >= fieldCount) {
        return {field.position, field.position};
    }
    const std::uint32_t custom = field.position - fixed;
    return {fieldCount - 1 - custom, field.position};
}

}  // namespace srvfw
