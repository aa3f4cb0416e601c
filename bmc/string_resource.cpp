#include "bmc/string_resource.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <initializer_list>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <string_view>

#include "bmc/wide_file.h"

namespace {

// A longer path cannot name a file on this system anyway.
constexpr std::size_t kMaxPathChars = PATH_MAX - 1;

template <typename T>
std::unique_ptr<T[]> Allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

// Where the string area starts: behind the count and the two tables.
std::uint64_t TableEnd(std::uint32_t count) {
    return 4 + 8 * std::uint64_t{count};
}

// Whether the units at byte offset lie completely inside [begin, end).
bool Within(std::uint64_t offset, std::uint64_t units, std::uint64_t begin, std::uint64_t end) {
    return offset >= begin && offset <= end && units <= (end - offset) / 2;
}

bool IsRegularFile(std::FILE* file) {
    struct stat status {};
    return ::fstat(::fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

std::uint64_t FileSize(std::FILE* file) {
    struct stat status {};
    return ::fstat(::fileno(file), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

// The file's 16-bit little-endian words summed from the start; an odd last
// byte does not count. Empty when the file cannot be rewound.
std::optional<std::uint16_t> WordSum(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_SET) != 0) return std::nullopt;
    std::uint16_t sum = 0;
    std::array<unsigned char, 4096> chunk;
    std::size_t got;
    do {
        got = std::fread(chunk.data(), 1, chunk.size(), file);
        for (std::size_t i = 0; i + 1 < got; i += 2) {
            sum = static_cast<std::uint16_t>(sum + (chunk[i] | chunk[i + 1] << 8));
        }
    } while (got == chunk.size());
    return sum;
}

bool ReadU32s(std::FILE* file, std::span<std::uint32_t> values) {
    for (std::uint32_t& value : values) {
        std::array<unsigned char, 4> bytes;
        if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) return false;
        value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t{bytes[3]} << 24;
    }
    return true;
}

// Reads text.size() UTF-16LE units from byte offset, each widened to one
// wchar_t. The caller has checked that the units lie inside the file.
bool ReadUnits(std::FILE* file, std::uint64_t offset, std::span<wchar_t> text) {
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    std::array<unsigned char, 4096> chunk;
    while (!text.empty()) {
        const std::size_t units = std::min(text.size(), chunk.size() / 2);
        if (std::fread(chunk.data(), 2, units, file) != units) return false;
        for (std::size_t i = 0; i < units; ++i) {
            text[i] = static_cast<wchar_t>(chunk[2 * i] | chunk[2 * i + 1] << 8);
        }
        text = text.subspan(units);
    }
    return true;
}

int JoinPath(std::initializer_list<std::wstring_view> parts, std::unique_ptr<wchar_t[]>& joined) {
    std::size_t length = 0;
    for (const std::wstring_view part : parts) length += part.size();
    if (length > kMaxPathChars) return STR_BAD_PATH;
    joined = Allocate<wchar_t>(length + 1);
    if (!joined) return STR_NO_MEMORY;
    wchar_t* end = joined.get();
    for (const std::wstring_view part : parts) end = std::copy(part.begin(), part.end(), end);
    return STR_SUCCESS;
}

}  // namespace

void CStringResource::FileCloser::operator()(std::FILE* file) const {
    std::fclose(file);
}

CStringResource::CStringResource() = default;

CStringResource::~CStringResource() {
    FreeLoadedStrings();
}

int CStringResource::Initialize(const wchar_t* path, unsigned expectedCount) {
    Clear();
    if (path == nullptr) return STR_NULL_ARGUMENT;
    std::unique_ptr<wchar_t[]> copy;
    const int joined = JoinPath({path}, copy);
    return joined == STR_SUCCESS ? Load(std::move(copy), expectedCount) : joined;
}

int CStringResource::Initialize(const wchar_t* firstPart, const wchar_t* secondPart,
                                const wchar_t* fileName, unsigned expectedCount) {
    Clear();
    if (firstPart == nullptr || secondPart == nullptr || fileName == nullptr) {
        return STR_NULL_ARGUMENT;
    }
    std::unique_ptr<wchar_t[]> path;
    const int joined = JoinPath({firstPart, secondPart, L"/", fileName}, path);
    return joined == STR_SUCCESS ? Load(std::move(path), expectedCount) : joined;
}

int CStringResource::Load(std::unique_ptr<wchar_t[]> path, unsigned expectedCount) {
    mPath = std::move(path);
    mFile.reset(wfopen(mPath.get(), L"rb"));
    // Only a regular file: reading a device such as /dev/zero for the
    // checksum would never end.
    const int result =
        mFile && IsRegularFile(mFile.get()) ? ReadTables(expectedCount) : STR_CANNOT_OPEN;
    if (result != STR_SUCCESS) Clear();
    return result;
}

int CStringResource::ReadTables(unsigned expectedCount) {
    std::FILE* file = mFile.get();
    const std::optional<std::uint16_t> sum = WordSum(file);
    if (!sum) return STR_READ_FAILED;
    if (*sum != 0) return STR_BAD_CHECKSUM;

    std::uint32_t count = 0;
    if (std::fseek(file, 0, SEEK_SET) != 0 || !ReadU32s(file, {&count, 1})) return STR_READ_FAILED;
    if (expectedCount != 0 && expectedCount != count) return STR_COUNT_MISMATCH;
    if (count == 0) return STR_NO_STRINGS;
    // A damaged count must not have us allocate tables the file cannot hold.
    if (TableEnd(count) > FileSize(file)) return STR_READ_FAILED;

    mOffsets = Allocate<std::uint32_t>(count);
    mLengths = Allocate<std::uint32_t>(count);
    mCache = Allocate<wchar_t*>(count);
    if (!mOffsets || !mLengths || !mCache) return STR_NO_MEMORY;
    mCount = count;

    const std::span<std::uint32_t> offsets(mOffsets.get(), count);
    if (!ReadU32s(file, offsets)) return STR_READ_FAILED;
    if (std::any_of(offsets.begin(), offsets.end(), [](std::uint32_t at) { return at % 2 != 0; })) {
        return STR_BAD_OFFSETS;
    }
    if (!ReadU32s(file, {mLengths.get(), count})) return STR_READ_FAILED;
    if (offsets[0] != TableEnd(count)) return STR_BAD_OFFSETS;
    return STR_SUCCESS;
}

wchar_t* CStringResource::GetString(unsigned index) {
    if (!mCache || index >= mCount) return nullptr;
    if (mCache[index] != nullptr) return mCache[index];

    const std::uint32_t units = mLengths[index];
    if (!Within(mOffsets[index], units, TableEnd(mCount), FileSize(mFile.get()))) return nullptr;
    // One unit more than the file holds, zero, so that a string whose own
    // zero unit is missing still ends inside its buffer.
    std::unique_ptr<wchar_t[]> text = Allocate<wchar_t>(std::size_t{units} + 1);
    if (!text || !ReadUnits(mFile.get(), mOffsets[index], {text.get(), units})) return nullptr;
    mCache[index] = text.release();
    return mCache[index];
}

int CStringResource::CacheAll() {
    if (mBulk) return STR_SUCCESS;
    if (!mCache) return STR_NOT_LOADED;
    FreeLoadedStrings();

    const std::span<const std::uint32_t> offsets(mOffsets.get(), mCount);
    const std::span<const std::uint32_t> lengths(mLengths.get(), mCount);
    const std::uint64_t units = std::accumulate(lengths.begin(), lengths.end(), std::uint64_t{0});
    const std::uint64_t begin = offsets[0];
    const std::uint64_t end = begin + 2 * units;
    if (end > FileSize(mFile.get())) return STR_READ_FAILED;
    // Every string must lie inside the block read below, or its pointer
    // would lead out of the block.
    for (std::uint32_t k = 0; k < mCount; ++k) {
        if (!Within(offsets[k], lengths[k], begin, end)) return STR_BAD_OFFSETS;
    }

    // The block lies inside the file, so its size fits a size_t even on i386.
    const auto blockUnits = static_cast<std::size_t>(units);
    // The extra zero unit ends a last string whose own zero unit is missing.
    std::unique_ptr<wchar_t[]> bulk = Allocate<wchar_t>(blockUnits + 1);
    if (!bulk) return STR_NO_MEMORY;
    if (!ReadUnits(mFile.get(), begin, {bulk.get(), blockUnits})) return STR_READ_FAILED;
    for (std::uint32_t k = 0; k < mCount; ++k) {
        mCache[k] = bulk.get() + (offsets[k] - begin) / 2;
    }
    mBulk = std::move(bulk);
    return STR_SUCCESS;
}

int CStringResource::ReleaseString(unsigned index) {
    if (index >= mCount) return STR_BAD_INDEX;
    if (mBulk) return STR_SUCCESS;
    if (!mCache) return STR_NOT_LOADED;
    delete[] mCache[index];
    mCache[index] = nullptr;
    return STR_SUCCESS;
}

int CStringResource::ReleaseAll() {
    if (!mCache) return STR_NOT_LOADED;
    FreeLoadedStrings();
    return STR_SUCCESS;
}

void CStringResource::FreeLoadedStrings() {
    if (!mCache) return;
    for (std::uint32_t k = 0; k < mCount; ++k) {
        if (!mBulk) delete[] mCache[k];
        mCache[k] = nullptr;
    }
    mBulk.reset();
}

void CStringResource::Clear() {
    FreeLoadedStrings();
    mCache.reset();
    mLengths.reset();
    mOffsets.reset();
    mCount = 0;
    mFile.reset();
    mPath.reset();
}
