// Saving a FRU as a configuration file: its location, its common header and
// every area it announces, as hexadecimal bytes and quoted text. The layout
// is fixed; files written years ago are still loaded and compared by hand.
//
// The file is written whole into a new file beside the target and renamed
// over it only when every line is on the disk: a save that fails or is cut
// short leaves the target as it was, never half a file, and since the new
// file is created exclusively and written through one descriptor, nothing
// can be swapped in under the name between the steps.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "bmc/trace.h"
#include "orvel/fru.h"
#include "orvel/fru_file_tokens.h"
#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"

namespace Orvel_Private {

namespace {

using namespace FruFileTokens;

constexpr const wchar_t* kClass = L"CFru";
constexpr char kFileFormatVersion[] = "1.50";
constexpr char kIpmiVersion[] = "1.00";
constexpr char kStartAddress[] = "0000";
constexpr std::size_t kBytesPerLine = 16;

using DataLineWriter = bool (*)(std::FILE*, std::span<const std::uint8_t>, std::uint8_t);

// What a step of the save works with.
struct SaveContext {
    std::FILE* file;
    CFru& fru;
    const char* path;
    DataLineWriter writeData;
};

[[gnu::format(printf, 2, 3)]] bool Print(std::FILE* file, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const int written = std::vfprintf(file, format, arguments);
    va_end(arguments);
    return written >= 0;
}

// The longest start of `text` that the reader gets back from between single
// quotes: the reader takes the text up to the next quote, cuts every line
// at "//" as a comment, and a line ends at a carriage return or line feed.
template <typename Char>
std::basic_string_view<Char> QuotableStart(std::basic_string_view<Char> text) {
    static constexpr Char kLineBreakers[] = {'\'', '\r', '\n', 0};
    static constexpr Char kComment[] = {'/', '/', 0};
    return text.substr(0, std::min(text.find_first_of(kLineBreakers), text.find(kComment)));
}

// A field's text goes between quotes only when it comes back byte for byte;
// a zero byte would end it early. Anything else is written in hexadecimal.
bool IsQuotable(std::span<const std::uint8_t> data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    return text.find('\0') == std::string_view::npos && QuotableStart(text).size() == text.size();
}

const char* NvsTypeName(FRU_TYPE type) {
    switch (type) {
        case FRU_NVS_AT24CO2:
            return FRU_NVS_AT24CO2_NAME;
        case FRU_NVS_DS1624S:
            return FRU_NVS_DS1624S_NAME;
        default:
            return FRU_NVS_IMBDEVICE_NAME;
    }
}

// The path as the _LF_NAME line carries it. Nothing reads the value back
// but the file must load: a "//" in it would be cut as a comment and take
// the closing quote with it, so runs of slashes, which name the same file,
// are written as one.
std::string FileNameText(std::string_view path) {
    std::string text;
    for (const char c : path) {
        if (c == '/' && !text.empty() && text.back() == '/') continue;
        text += c;
    }
    return text;
}

// The FRU's name as the _FRU_TITLE line carries it: up to the first part
// that could not come back from between quotes, so that the file loads. A
// FRU without a name gets an empty title.
std::wstring TitleText(const FRU_LOCATOR& locator) {
    if (!locator.mName) return {};
    return std::wstring(QuotableStart(std::wstring_view(*locator.mName)));
}

bool SaveFRUFileHeader(const SaveContext& save) {
    // The file version is kept in the internal use area's last two bytes; a
    // FRU without them is version 0.00.
    const std::span<const std::uint8_t> internal = save.fru.InternalUseArea().GetData();
    const bool versioned = internal.size() >= 2;
    const unsigned major = versioned ? internal[internal.size() - 2] : 0;
    const unsigned minor = versioned ? internal[internal.size() - 1] : 0;
    const char q = FRU_SINGLE_QUOTE;
    return Print(save.file, "%s\t%c%s%c\n", FRU_LF_NAME, q, FileNameText(save.path).c_str(), q) &&
           Print(save.file, "%s\t%c%X.%02X%c\n", FRU_LF_VERSION, q, major, minor, q) &&
           Print(save.file, "%s\t%c%s%c\n", FRU_LF_FMT_VER, q, kFileFormatVersion, q) &&
           Print(save.file, "%s\t%c%s%c\n\n\n", FRU_IMPI_VERSION, q, kIpmiVersion, q);
}

bool SaveFRULocatorToFile(const SaveContext& save) {
    const FRU_LOCATOR& locator = save.fru.GetDevLocator();
    const char q = FRU_SINGLE_QUOTE;
    std::FILE* file = save.file;
    // The mBMC sizes are not saved, and an mBMC device is saved as a
    // logical FRU device: the file describes where the data came from, and
    // only platforms with an mBMC read those keys.
    return Print(file, "%s %s\n", FRU_FRU, FRU_OPEN_PAREN) &&
           Print(file, "%s\t%c%ls%c\n", FRU_FRU_TITLE, q, TitleText(locator).c_str(), q) &&
           Print(file, "%s\t%s\n", FRU_START_ADDR, kStartAddress) &&
           Print(file, "%s\t%04X\n", FRU_DATA_LEN, save.fru.GetOverallLength()) &&
           Print(file, "%s\t%c%s%c\n", FRU_NVS_TYPE, q, NvsTypeName(locator.mType), q) &&
           Print(file, "%s\t\t%02X\n", FRU_DEV_ID, unsigned{locator.mFruDeviceId}) &&
           Print(file, "%s\t%02X\n", FRU_DEV_CNTR, unsigned{locator.mControllerAddress}) &&
           Print(file, "%s\t%02X\n", FRU_NVS_LUN, unsigned{locator.mLun}) &&
           Print(file, "%s\t%02X\n", FRU_DEV_BUS, unsigned{locator.mBus}) &&
           Print(file, "%s\t%02X\n", FRU_DEV_ADDRESS, unsigned{locator.mSlaveAddress});
}

bool SaveCommonHeaderToFile(const SaveContext& save) {
    const std::span<const std::uint8_t, FRU_HEADER_LENGTH> header = save.fru.Header().GetData();
    if (!Print(save.file, "%s\n", FRU_COMMON)) return false;
    for (std::size_t i = 0; i + 1 < header.size(); ++i) {
        if (!Print(save.file, "\t%02X\n", unsigned{header[i]})) return false;
    }
    return Print(save.file, "\t%02X\n\n\n", unsigned{header.back()});
}

bool SaveInternalAreaToFile(const SaveContext& save) {
    const std::span<const std::uint8_t> bytes = save.fru.InternalUseArea().GetData();
    if (!Print(save.file, "%s\n", FRU_INTERNAL)) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % kBytesPerLine == 0 && !Print(save.file, "\n\t")) return false;
        if (!Print(save.file, "%02X ", unsigned{bytes[i]})) return false;
    }
    return Print(save.file, "\n\n\n");
}

// The fields of an info area, fixed ones first, each as its type/length
// byte and its data line, and the end-of-fields marker. The padding and
// the checksum are left out: the reader makes them.
bool SaveInfoAreaFields(const SaveContext& save, const CFruInfoArea& area) {
    const auto saveField = [&save](const CFruField& field) {
        // Every byte of data gets its line, also for a field whose
        // type/length byte reads C1h: leaving it out would shift every
        // byte after it when the file is read.
        return Print(save.file, "%02X\n", unsigned{field.GetTypeLength()}) &&
               (field.GetData().empty() ||
                save.writeData(save.file, field.GetData(), field.GetTypeLength()));
    };
    for (const CFruField& field : area.GetFixedFields()) {
        if (!saveField(field)) return false;
    }
    for (const CFruCustomField& field : area.GetCustomFields()) {
        if (!saveField(field)) return false;
    }
    return Print(save.file, "%02X\n\n", unsigned{kEndOfFields});
}

// The section token, the format version and the length byte.
bool SaveInfoAreaStart(const SaveContext& save, const char* token, const CFruInfoArea& area) {
    return Print(save.file, "%s\n", token) &&
           Print(save.file, "%02X\n", unsigned{area.GetFormatVersion()}) &&
           Print(save.file, "%02X\n", area.GetLength() / kFruAreaUnit);
}

bool SaveChassisAreaToFile(const SaveContext& save) {
    const CChassisInfoArea& area = save.fru.ChassisInfoArea();
    return SaveInfoAreaStart(save, FRU_CHASSIS, area) &&
           Print(save.file, "%02X\n", unsigned{area.GetChassisType()}) &&
           SaveInfoAreaFields(save, area);
}

bool SaveBoardAreaToFile(const SaveContext& save) {
    const CBoardInfoArea& area = save.fru.BoardInfoArea();
    const std::span<const std::uint8_t, kMfgDateTimeLength> date = area.GetMfgDateTime();
    return SaveInfoAreaStart(save, FRU_BOARD, area) &&
           Print(save.file, "%02X\n", unsigned{area.GetLanguageCode()}) &&
           Print(save.file, "%02X %02X %02X", unsigned{date[0]}, unsigned{date[1]},
                 unsigned{date[2]}) &&
           Print(save.file, "\n") && SaveInfoAreaFields(save, area);
}

bool SaveProductAreaToFile(const SaveContext& save) {
    const CProductInfoArea& area = save.fru.ProductInfoArea();
    return SaveInfoAreaStart(save, FRU_PRODUCT, area) &&
           Print(save.file, "%02X\n", unsigned{area.GetLanguageCode()}) &&
           SaveInfoAreaFields(save, area);
}

bool SaveMultiRecAreaToFile(const SaveContext& save) {
    if (!Print(save.file, "%s\n", FRU_MULTIREC)) return false;
    for (const FRUMultiRecord& record : save.fru.MultiRecords()) {
        for (const std::uint8_t byte : record.GetHeader()) {
            if (!Print(save.file, "%02X\n", unsigned{byte})) return false;
        }
        const std::span<const std::uint8_t> data = record.GetRecordData();
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (i > 0 && i % kBytesPerLine == 0 && !Print(save.file, "\n ")) return false;
            if (!Print(save.file, "%02X ", unsigned{data[i]})) return false;
        }
        if (!Print(save.file, "\n ")) return false;
    }
    return Print(save.file, "\n");
}

bool SaveFRUFileEnd(const SaveContext& save) {
    return Print(save.file, "%s\n", FRU_CLOSE_PAREN);
}

struct SaveStep {
    const wchar_t* name;            // of the debug lines
    bool (CFru::*present)() const;  // null: always written
    bool (*write)(const SaveContext&);
};

constexpr SaveStep kSaveSteps[] = {
    {L"SaveFRUFileHeader", nullptr, SaveFRUFileHeader},
    {L"SaveFRULocatorToFile", nullptr, SaveFRULocatorToFile},
    {L"SaveCommonHeaderToFile", nullptr, SaveCommonHeaderToFile},
    {L"SaveInternalAreaToFile", &CFru::HasInternalArea, SaveInternalAreaToFile},
    {L"SaveChassisAreaToFile", &CFru::HasChassisArea, SaveChassisAreaToFile},
    {L"SaveBoardAreaToFile", &CFru::HasBoardArea, SaveBoardAreaToFile},
    {L"SaveProductAreaToFile", &CFru::HasProductArea, SaveProductAreaToFile},
    {L"SaveMultiRecAreaToFile", &CFru::HasMultiRecArea, SaveMultiRecAreaToFile},
    {L"SaveFRUFileEnd", nullptr, SaveFRUFileEnd},
};

// Writes one step's lines. 0, or the status of the failure.
std::uint32_t RunSaveStep(const SaveStep& step, const SaveContext& save) {
    CTrace trace(kClass, step.name);
    bool written = false;
    try {
        written = step.write(save);
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        SetLastErrorString(IDS_NO_MEMORY);
        return ORVEL_ERROR_ALLOCATION;
    }
    if (!written) {
        trace.Failure(L"Error Writing File");
        SetLastErrorString(IDS_FILE_CANNOT_WRITE, save.path);
        return ORVEL_ERROR_FILE_WRITE;
    }
    return ORVEL_SUCCESS;
}

// Where the save lands: the named file, or the file a symbolic link there
// names, as an ordinary write through the link would. A dangling link is
// not followed: the saved file takes its place.
struct SaveTarget {
    std::string path;
    std::optional<struct stat> existing;  // what the new file replaces
};

// The target of a save to `path`; none, with the failure reported, when
// the path names a directory, FIFO, device or socket, which a save must
// not replace.
std::optional<SaveTarget> FindSaveTarget(const char* path, const CTrace& trace) {
    SaveTarget target{path, std::nullopt};
    struct stat status {};
    if (::lstat(path, &status) == 0 && S_ISLNK(status.st_mode)) {
        const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path, nullptr),
                                                                   &std::free);
        if (resolved) target.path = resolved.get();
    }
    if (::lstat(target.path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
            trace.Failure(L"Not A Regular File");
            SetLastErrorString(IDS_FILE_NOT_REGULAR, path);
            return std::nullopt;
        }
        if (S_ISREG(status.st_mode)) target.existing = status;
    }
    // Replacing a file takes only the directory's permission; a file the
    // caller may not write stays refused, as opening it would be.
    if (target.existing && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
        trace.Failure(L"Error Creating File");
        SetLastErrorString(IDS_FILE_CANNOT_WRITE, path);
        return std::nullopt;
    }
    return target;
}

// The new file a save writes, beside its target so that the rename stays
// within one file system. Dropped without Commit, it is removed.
class PendingFile {
  public:
    PendingFile() = default;
    ~PendingFile() {
        if (mFile != nullptr) std::fclose(mFile);
        if (!mTemporary.empty()) ::unlink(mTemporary.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the new file; false when the directory takes none.
    bool Create(const SaveTarget& target) {
        const std::filesystem::path path(target.path);
        const std::string stem = "." + path.filename().string() + ".";
        static constexpr char kLetters[] =
            "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        std::random_device seed;
        std::minstd_rand random(seed());
        std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
        // The name is new and unguessable, and O_EXCL with O_NOFOLLOW makes
        // sure no file or link planted under it is used; a name that is
        // taken is followed by another.
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = stem;
            for (int i = 0; i < 8; ++i) name += kLetters[letter(random)];
            const std::string candidate = (path.parent_path() / name).string();
            const int fd = ::open(candidate.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) return false;
            mTemporary = candidate;
            if (target.existing) KeepModeAndOwner(fd, *target.existing);
            mFile = ::fdopen(fd, "w");
            if (mFile == nullptr) ::close(fd);
            return mFile != nullptr;
        }
        return false;
    }

    std::FILE* Stream() const { return mFile; }

    // Puts the written file in place of the target; false, and the target
    // as it was, when the file did not reach the disk whole.
    bool Commit(const SaveTarget& target) {
        // A full disk shows at the flush; fsync has the data on the disk
        // before the name points to it, so that a crash after the rename
        // does not leave an empty file in place of the old one.
        const bool flushed = std::fflush(mFile) == 0 && ::fsync(::fileno(mFile)) == 0;
        const bool closed = std::fclose(mFile) == 0;
        mFile = nullptr;
        if (!flushed || !closed) return false;
        if (std::rename(mTemporary.c_str(), target.path.c_str()) != 0) return false;
        mTemporary.clear();
        return true;
    }

  private:
    // A file saved over keeps who may read it: its data may be private.
    // The owner is kept where the caller may give it away (root may).
    static void KeepModeAndOwner(int fd, const struct stat& existing) {
        [[maybe_unused]] const int owned = ::fchown(fd, existing.st_uid, existing.st_gid);
        ::fchmod(fd, existing.st_mode & 07777);
    }

    std::string mTemporary;
    std::FILE* mFile = nullptr;
};

// The save itself, once the path is known to be there.
std::uint32_t SaveSteps(CFru& fru, const char* path, DataLineWriter writeData,
                        const CTrace& trace) {
    const std::optional<SaveTarget> target = FindSaveTarget(path, trace);
    if (!target) return ORVEL_ERROR_FILE_CREATE;
    PendingFile pending;
    if (!pending.Create(*target)) {
        // The file header is the step that creates the file; the debug
        // log names it, as support knows it.
        CTrace first(kClass, kSaveSteps[0].name);
        first.Failure(L"Error Writing File");
        SetLastErrorString(IDS_FILE_CANNOT_WRITE, path);
        return ORVEL_ERROR_FILE_CREATE;
    }
    const SaveContext save{pending.Stream(), fru, path, writeData};
    for (const SaveStep& step : kSaveSteps) {
        if (step.present != nullptr && !(fru.*step.present)()) continue;
        if (const std::uint32_t status = RunSaveStep(step, save)) return status;
    }
    if (!pending.Commit(*target)) {
        trace.Failure(L"Error Writing File");
        SetLastErrorString(IDS_FILE_CANNOT_WRITE, path);
        return ORVEL_ERROR_FILE_WRITE;
    }
    return ORVEL_SUCCESS;
}

}  // namespace

std::uint32_t CFru::SaveFRUToFile(const char* path) {
    CTrace trace(kClass, L"SaveFRUToFile");
    if (path == nullptr) {
        trace.Failure(L"Unexpected");
        SetLastErrorString(IDS_UNEXPECTED);
        return ORVEL_ERROR_FILE_CREATE;
    }
    try {
        return SaveSteps(*this, path, &CFru::WriteDataToFRUFile, trace);
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        SetLastErrorString(IDS_NO_MEMORY);
        return ORVEL_ERROR_ALLOCATION;
    }
}

bool CFru::WriteDataToFRUFile(std::FILE* file, std::span<const std::uint8_t> bytes,
                              std::uint8_t typeLength) {
    CTrace trace(kClass, L"WriteDataToFRUFile");
    // Text stays readable in the file; binary, BCD plus and 6-bit packed
    // data, and text that quotes cannot carry, go as hexadecimal bytes so
    // that the file reads back into the same bytes.
    if ((typeLength & kFieldTypeMask) == FRU_FIELD_TYPE_TEXT && IsQuotable(bytes)) {
        return Print(file, "%c%.*s%c\n", FRU_SINGLE_QUOTE, static_cast<int>(bytes.size()),
                     reinterpret_cast<const char*>(bytes.data()), FRU_SINGLE_QUOTE);
    }
    for (const std::uint8_t byte : bytes) {
        if (!Print(file, "%02X ", unsigned{byte})) return false;
    }
    return Print(file, "\n");
}

}  // namespace Orvel_Private
