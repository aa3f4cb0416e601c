// Saving a FRU as a configuration file: its location, its common header and
// every area it announces, as hexadecimal bytes and quoted text. The layout
// is fixed; files written years ago are still loaded and compared by hand.
//
// Each step opens the file, writes its lines and closes it again, so that a
// failing step leaves every line before it in the file: support can see how
// far the save got.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "orvel/fru.h"
#include "orvel/fru_file_tokens.h"
#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/trace.h"

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

// Writes one step's lines: the first step creates the file (or empties
// it), every later one appends. 0, or the status of the failure.
std::uint32_t RunSaveStep(const SaveStep& step, bool first, CFru& fru, const char* path,
                          DataLineWriter writeData) {
    CTrace trace(kClass, step.name);
    std::FILE* file = std::fopen(path, first ? "w" : "a");
    std::uint32_t status = ORVEL_SUCCESS;
    if (file == nullptr) {
        status = first ? ORVEL_ERROR_FILE_CREATE : ORVEL_ERROR_FILE_WRITE;
    } else {
        bool written = false;
        try {
            written = step.write({file, fru, path, writeData});
        } catch (const std::bad_alloc&) {
            std::fclose(file);
            trace.Failure(L"Memory Allocation Error");
            SetLastErrorString(IDS_NO_MEMORY);
            return ORVEL_ERROR_ALLOCATION;
        }
        // Closing flushes: a full disk shows here.
        if (std::fclose(file) != 0 || !written) status = ORVEL_ERROR_FILE_WRITE;
    }
    if (status != ORVEL_SUCCESS) {
        trace.Failure(L"Error Writing File");
        SetLastErrorString(IDS_FILE_CANNOT_WRITE, path);
    }
    return status;
}

}  // namespace

std::uint32_t CFru::SaveFRUToFile(const char* path) {
    CTrace trace(kClass, L"SaveFRUToFile");
    if (path == nullptr) {
        trace.Failure(L"Unexpected");
        SetLastErrorString(IDS_UNEXPECTED);
        return ORVEL_ERROR_FILE_CREATE;
    }
    bool first = true;
    for (const SaveStep& step : kSaveSteps) {
        if (step.present != nullptr && !(this->*step.present)()) continue;
        if (const std::uint32_t status =
                RunSaveStep(step, first, *this, path, &CFru::WriteDataToFRUFile)) {
            return status;
        }
        first = false;
    }
    return ORVEL_SUCCESS;
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
