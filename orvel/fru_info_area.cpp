#include "orvel/fru_info_area.h"

#include <algorithm>
#include <new>
#include <utility>

#include "bmc/trace.h"
#include "orvel/area_text.h"
#include "orvel/fru_encoding.h"
#include "orvel/last_error.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {
// Format version and length byte.
constexpr std::size_t kFrameHead = 2;
constexpr const wchar_t* kEndsEarly = L"End Of Fields Before Fixed Fields";
}  // namespace

bool CFruInfoArea::SetData(std::span<const std::uint8_t> bytes) {
    CTrace trace(mLayout->className, L"SetData");
    try {
        Contents parsed;
        const wchar_t* problem = Parse(bytes, parsed);
        mEndedBeforeFixedFields = problem == kEndsEarly;
        if (problem != nullptr) {
            trace.Failure(problem);
            return false;
        }
        mContents = std::move(parsed);
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        return false;
    }
    return true;
}

// The words for the first rule the image breaks; null when it keeps them all.
const wchar_t* CFruInfoArea::Parse(std::span<const std::uint8_t> bytes, Contents& parsed) const {
    if (bytes.size() < kFrameHead || bytes.size() > kMaxInfoAreaLength) {
        return L"Invalid Area Length";
    }
    parsed.formatVersion = bytes[0];
    parsed.length = bytes[1];
    const std::size_t declared = parsed.length * std::size_t{kFruAreaUnit};
    if (parsed.length > kMaxInfoAreaUnits || declared < bytes.size()) {
        return L"Invalid Area Length";
    }

    std::size_t position = kFrameHead;
    // The area's own bytes are followed at least by the first field.
    if (position + mLayout->areaByteCount >= bytes.size()) return L"Area Too Short";
    std::copy_n(bytes.begin() + position, mLayout->areaByteCount, parsed.areaBytes.begin());
    position += mLayout->areaByteCount;

    // C1h where a fixed field stands is the end of the fields, not a field
    // of one byte: what follows it is padding, never field data.
    for (std::size_t i = 0; i < mLayout->fieldSetters.size(); ++i) {
        if (position < bytes.size() && bytes[position] == kEndOfFields) return kEndsEarly;
        if (!parsed.fixedFields[i].Read(bytes, position)) return L"Invalid Field Length";
    }
    while (position < bytes.size() && bytes[position] != kEndOfFields) {
        CFruCustomField field;
        if (!field.Read(bytes, position)) return L"Invalid Field Length";
        parsed.customFields.push_back(field);
    }
    if (position >= bytes.size()) return L"No End Of Fields";

    const std::size_t marker = position;
    if (marker == bytes.size() - 1) {
        // Fields only, as a configuration file carries them: the padding
        // and the checksum are made here.
        if (bytes.size() >= declared) return L"Invalid Area Length";
        parsed.checksum = ZeroChecksum(bytes);
        return nullptr;
    }
    if (bytes.size() != declared) return L"Invalid Area Length";
    if (ByteSum(bytes) != 0) return L"Invalid Checksum";
    // Padding other than zeros (FFh, as an erased part reads) is not the
    // format's, but the area's checksum vouches for it: the area is read,
    // and written back padded with zeros, under the checksum that makes.
    const auto padding = bytes.subspan(marker + 1, bytes.size() - marker - 2);
    parsed.paddingNotZero =
        std::ranges::any_of(padding, [](std::uint8_t byte) { return byte != 0; });
    parsed.checksum = parsed.paddingNotZero ? ZeroChecksum(bytes.first(marker + 1)) : bytes.back();
    return nullptr;
}

std::span<const std::uint8_t> CFruInfoArea::GetData() {
    CTrace trace(mLayout->className, L"GetData");
    if (Room() < 0) return {};
    const std::size_t length = mContents.length * std::size_t{kFruAreaUnit};
    const std::span<std::uint8_t> image = std::span(mImage).first(length);
    std::ranges::fill(image, 0);
    WriteContent(image);
    image.back() = mContents.checksum;
    return image;
}

std::uint32_t CFruInfoArea::GetLength() const {
    CTrace trace(mLayout->className, L"GetLength");
    return mContents.length * kFruAreaUnit;
}

bool CFruInfoArea::SetLength(std::uint32_t bytes) {
    CTrace trace(mLayout->className, L"SetLength");
    // A length that could not hold the fields would make the rebuilt image
    // overrun the area.
    if (bytes % kFruAreaUnit != 0 || bytes == 0 || bytes > kMaxInfoAreaLength ||
        bytes < ContentLength() + 1) {
        trace.Failure(L"Invalid Area Length");
        return false;
    }
    mContents.length = static_cast<std::uint8_t>(bytes / kFruAreaUnit);
    UpdateChecksum();
    return true;
}

std::uint32_t CFruInfoArea::GetPadLength() const {
    CTrace trace(mLayout->className, L"GetPadLength");
    return static_cast<std::uint32_t>(std::max<std::int64_t>(Room(), 0));
}

std::uint8_t CFruInfoArea::UpdateChecksum() {
    CTrace trace(mLayout->className, L"UpdateChecksum");
    std::array<std::uint8_t, kMaxInfoAreaLength> content;
    mContents.checksum = ZeroChecksum(std::span(content).first(WriteContent(content)));
    return mContents.checksum;
}

bool CFruInfoArea::IsValid() const {
    CTrace trace(mLayout->className, L"IsValid");
    std::array<std::uint8_t, kMaxInfoAreaLength> content;
    const std::size_t used = WriteContent(content);
    return used > 0 && ZeroChecksum(std::span(content).first(used)) == mContents.checksum;
}

std::uint32_t CFruInfoArea::GetNumberOfFields() const {
    CTrace trace(mLayout->className, L"GetNumberOfFields");
    return FixedItems() + static_cast<std::uint32_t>(mContents.customFields.size());
}

std::uint32_t CFruInfoArea::GetFieldIndexFromEnum(std::uint32_t field) const {
    CTrace trace(mLayout->className, L"GetFieldIndexFromEnum");
    if (field < mLayout->firstField || field - mLayout->firstField >= FixedItems()) {
        return INVALID_SELECTION;
    }
    return field - mLayout->firstField;
}

const wchar_t* CFruInfoArea::GetFieldTitleFromIndex(std::uint32_t index) const {
    CTrace trace(mLayout->className, L"GetFieldTitleFromIndex");
    if (index >= GetNumberOfFields()) return nullptr;
    // Custom fields share the title after the last fixed item's.
    return GetOrvelString(mLayout->firstTitle + std::min(index, FixedItems()));
}

const wchar_t* CFruInfoArea::GetFieldValueFromIndex(std::uint32_t index) {
    CTrace trace(mLayout->className, L"GetFieldValueFromIndex");
    const CFruField* field = FieldAt(index, CustomOrder::LastStoredFirst);
    if (field == nullptr) return NoSuchField(trace);
    return KeepAreaText(mText, trace, [field] { return field->GetText(); });
}

std::optional<std::span<const std::uint8_t>> CFruInfoArea::GetFieldData(std::uint32_t index) const {
    CTrace trace(mLayout->className, L"GetFieldData");
    if (mLayout->itemLength > 0 && index == 0) {
        return GetAreaBytes().subspan(mLayout->itemOffset, mLayout->itemLength);
    }
    const CFruField* field = FieldAt(index, CustomOrder::StoredOrder);
    if (field == nullptr) return std::nullopt;
    return field->GetData();
}

bool CFruInfoArea::SetFieldData(std::uint32_t index, const std::uint8_t* bytes,
                                std::uint32_t length, FRU_FIELD_TYPE type) {
    CTrace trace(mLayout->className, L"SetFieldData");
    CFruField* field = FieldAt(index, CustomOrder::LastStoredFirst);
    if (field == nullptr) {
        trace.Failure(L"No such FRU Field");
        if (mLayout->reportsRefusals) SetLastErrorString(IDS_NO_SUCH_FIELD);
        return false;
    }
    return SetTextField(*field, index, bytes, length, type);
}

std::optional<FRU_FIELD_TYPE> CFruInfoArea::GetFieldEncoding(std::uint32_t index) const {
    CTrace trace(mLayout->className, L"GetFieldEncoding");
    const CFruField* field = FieldAt(index, CustomOrder::LastStoredFirst);
    if (field == nullptr) return std::nullopt;
    return field->GetType();
}

bool CFruInfoArea::SetFieldText(std::uint32_t index, std::wstring_view text) {
    CTrace trace(mLayout->className, L"SetFieldText");
    CFruField* field = FieldAt(index, CustomOrder::LastStoredFirst);
    if (field == nullptr) {
        trace.Failure(L"No such FRU Field");
        SetLastErrorString(IDS_NO_SUCH_FIELD);
        return false;
    }
    FRU_FIELD_TYPE type = field->GetType();
    std::optional<std::vector<std::uint8_t>> data = EncodeFieldText(type, text);
    if (!data) {
        type = FRU_FIELD_TYPE_TEXT;
        data = EncodeFieldText(type, text);
    }
    if (!data) {
        trace.Failure(L"Character Not Stored");
        return false;
    }
    return SetTextField(*field, index, data->data(), static_cast<std::uint32_t>(data->size()),
                        type);
}

bool CFruInfoArea::SetTextField(CFruField& field, std::uint32_t index, const std::uint8_t* bytes,
                                std::uint32_t length, FRU_FIELD_TYPE type) {
    CTrace trace(mLayout->className, SetterName(index));
    if (bytes == nullptr) {
        trace.Failure(L"Unexpected");
        if (mLayout->reportsRefusals) SetLastErrorString(IDS_UNEXPECTED);
        return false;
    }
    const std::int64_t room = std::int64_t(field.GetData().size()) + Room();
    if (length > kMaxFieldLength || length > room) {
        trace.Failure(mLayout->tooLongWords);
        if (mLayout->reportsRefusals) {
            const wchar_t* title = GetFieldTitleFromIndex(index);
            SetLastErrorString(IDS_FIELD_TOO_LONG, title != nullptr ? title : L"");
        }
        return false;
    }
    // One byte of 8-bit text would make the type/length byte C1h, which
    // every reader takes for the end of the fields: the fields after it, or
    // the whole area, would be lost. The standard wants two bytes at least.
    if (((type & kFieldTypeMask) | length) == kEndOfFields) {
        trace.Failure(L"Type/Length Is End Of Fields");
        if (mLayout->reportsRefusals) SetLastErrorString(IDS_UNEXPECTED);
        return false;
    }
    field.Set(type, {bytes, length});
    ContentChanged();
    return true;
}

bool CFruInfoArea::IsModified() const {
    CTrace trace(mLayout->className, L"IsModified");
    return mModified;
}

void CFruInfoArea::ResetIsModified() {
    CTrace trace(mLayout->className, L"ResetIsModified");
    mModified = false;
}

void CFruInfoArea::ContentChanged() {
    UpdateChecksum();
    mModified = true;
}

std::uint32_t CFruInfoArea::FixedItems() const {
    return static_cast<std::uint32_t>((mLayout->itemLength > 0 ? 1 : 0) +
                                      mLayout->fieldSetters.size());
}

std::size_t CFruInfoArea::ContentLength() const {
    std::size_t length = kFrameHead + mLayout->areaByteCount + 1;
    for (const CFruField& field : GetFixedFields()) length += field.GetStoredSize();
    for (const CFruField& field : mContents.customFields) length += field.GetStoredSize();
    return length;
}

std::int64_t CFruInfoArea::Room() const {
    // The checksum takes the area's last byte.
    return std::int64_t{mContents.length} * kFruAreaUnit - std::int64_t(ContentLength()) - 1;
}

std::size_t CFruInfoArea::WriteContent(std::span<std::uint8_t> out) const {
    if (out.size() < ContentLength()) return 0;
    out[0] = mContents.formatVersion;
    out[1] = mContents.length;
    std::ranges::copy(GetAreaBytes(), out.begin() + kFrameHead);
    std::size_t position = kFrameHead + mLayout->areaByteCount;
    for (const CFruField& field : GetFixedFields()) field.Write(out, position);
    for (const CFruField& field : mContents.customFields) field.Write(out, position);
    out[position++] = kEndOfFields;
    return position;
}

const CFruField* CFruInfoArea::FieldAt(std::uint32_t index, CustomOrder order) const {
    const std::uint32_t items = mLayout->itemLength > 0 ? 1 : 0;
    if (index < items) return nullptr;
    if (index < FixedItems()) return &mContents.fixedFields[index - items];
    const std::size_t k = index - FixedItems();
    const std::size_t count = mContents.customFields.size();
    if (k >= count) return nullptr;
    return &mContents.customFields[order == CustomOrder::StoredOrder ? k : count - 1 - k];
}

CFruField* CFruInfoArea::FieldAt(std::uint32_t index, CustomOrder order) {
    return const_cast<CFruField*>(std::as_const(*this).FieldAt(index, order));
}

const wchar_t* CFruInfoArea::SetterName(std::uint32_t index) const {
    const std::uint32_t text = index - (mLayout->itemLength > 0 ? 1 : 0);
    return text < mLayout->fieldSetters.size() ? mLayout->fieldSetters[text] : L"SetCustomField";
}

}  // namespace Orvel_Private
