// Reading a FRU from its configuration file. The reader is more tolerant
// than the writer, since people edit these files: it walks the lines
// looking for the keys in their fixed order, skips lines it does not
// expect, lets the optional keys be missing, and reads each area section
// into the area it names. It stops at the last area the common header
// announces; what follows is not read.
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "bmc/trace.h"
#include "bmc/wide_file.h"
#include "orvel/cfile.h"
#include "orvel/fru.h"
#include "orvel/fru_file_tokens.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

using namespace FruFileTokens;

constexpr const wchar_t* kClass = L"CFru";

// What the walk looks for next.
enum ReadState : unsigned {
    kFileName = 0,
    kFileVersion = 2,
    kFormatVersion,
    kIpmiVersion,
    kFruBlock,
    kTitle,
    kStartAddress,
    kDataLength,
    kNvsType,
    kDeviceId,
    kController,
    kLun,
    kBus,
    kSlaveAddress,
    kCommonHeader,
    kInternalUse,
    kChassis,
    kBoard,
    kProduct,
    kMultiRecords,
    kDone,
    kMbmcSizeAddress,
    kMbmcSizeData,
};

struct StateKey {
    const char* key;
    // A missing optional key lets the line stand for the next state's key.
    bool optional;
    // The text that names the key's value or the area in messages.
    unsigned name;
};

constexpr std::array<StateKey, kMbmcSizeData + 1> kStateKeys = {{
    {FRU_LF_NAME, false, IDS_KEY_LF_NAME},
    {nullptr, false, 0},
    {FRU_LF_VERSION, false, IDS_KEY_LF_VERSION},
    {FRU_LF_FMT_VER, false, IDS_KEY_LF_FMT_VER},
    {FRU_IMPI_VERSION, false, IDS_KEY_IPMI_VERSION},
    {FRU_FRU, false, 0},
    {FRU_FRU_TITLE, true, IDS_KEY_FRU_TITLE},
    {FRU_START_ADDR, false, 0},
    {FRU_DATA_LEN, false, IDS_KEY_DATA_LEN},
    {FRU_NVS_TYPE, true, IDS_KEY_NVS_TYPE},
    {FRU_DEV_ID, true, IDS_KEY_DEV_ID},
    {FRU_DEV_CNTR, true, IDS_KEY_DEV_CNTR},
    {FRU_NVS_LUN, true, IDS_KEY_NVS_LUN},
    {FRU_DEV_BUS, true, IDS_KEY_DEV_BUS},
    {FRU_DEV_ADDRESS, true, IDS_KEY_DEV_ADDRESS},
    {FRU_COMMON, false, IDS_AREA_COMMON_HEADER},
    {FRU_INTERNAL, false, IDS_AREA_INTERNAL_USE},
    {FRU_CHASSIS, false, IDS_AREA_CHASSIS},
    {FRU_BOARD, false, IDS_AREA_BOARD},
    {FRU_PRODUCT, false, IDS_AREA_PRODUCT},
    {FRU_MULTIREC, false, IDS_AREA_MULTIRECORD},
    {nullptr, false, 0},
    // The mBMC keys borrow two texts for their failures (see KeyReader).
    {FRU_MBMC_SIZE_ADDRS, false, 0},
    {FRU_MBMC_SIZE_DATA, false, 0},
}};

constexpr std::uint8_t kMaxByteValue = 0xFF;
constexpr unsigned long kMaxDataLength = 0xFFFF;

// The key that follows in the file (state 1 is not used).
ReadState NextKey(ReadState state) {
    return state == kFileName ? kFileVersion : static_cast<ReadState>(state + 1);
}

bool IsAreaState(ReadState state) {
    return state >= kCommonHeader && state <= kMultiRecords;
}

bool HoldsKey(const CFile& file, std::uint32_t line, ReadState state) {
    return file.LineContains(line, kStateKeys[state].key) &&
           (state != kFruBlock || file.LineContains(line, FRU_OPEN_PAREN));
}

// The state whose key the line holds: the expected one, or one the missing
// optional keys after it lead to. None for a line the walk skips; the
// expected state then stays, so that an unexpected line (a note someone
// added) does not make the walk pass over the optional keys after it.
std::optional<ReadState> MatchingState(const CFile& file, std::uint32_t line, ReadState state) {
    for (ReadState tried = state;; tried = NextKey(tried)) {
        if (HoldsKey(file, line, tried)) return tried;
        if (!kStateKeys[tried].optional) return std::nullopt;
    }
}

std::uint8_t AreaOffset(const CFruHeader& header, unsigned state) {
    switch (state) {
        case kInternalUse:
            return header.GetInternalUseOffset();
        case kChassis:
            return header.GetChassisOffset();
        case kBoard:
            return header.GetBoardOffset();
        case kProduct:
            return header.GetProductOffset();
        case kMultiRecords:
            return header.GetMultiRecordOffset();
        default:
            return 0;
    }
}

// The next area the common header announces, in the order the file keeps.
ReadState NextArea(const CFruHeader& header, ReadState after) {
    for (unsigned state = after + 1; state <= kMultiRecords; ++state) {
        if (AreaOffset(header, state) != 0) return static_cast<ReadState>(state);
    }
    return kDone;
}

// Hands a section's bytes to the area they belong to; false when it refuses
// them.
bool TakeArea(CFru& fru, ReadState state, std::span<const std::uint8_t> bytes) {
    switch (state) {
        case kCommonHeader:
            // Taken as it stands: the file is where a broken header is mended.
            if (bytes.size() != FRU_HEADER_LENGTH) return false;
            fru.Header().SetData(bytes.first<FRU_HEADER_LENGTH>());
            return true;
        case kInternalUse:
            return fru.InternalUseArea().SetData(bytes, false);
        case kChassis:
            return fru.ChassisInfoArea().SetData(bytes);
        case kBoard:
            return fru.BoardInfoArea().SetData(bytes);
        case kProduct:
            return fru.ProductInfoArea().SetData(bytes);
        case kMultiRecords:
            return fru.SetMultiRecArea(bytes, false) == ORVEL_SUCCESS;
        default:
            return false;
    }
}

const wchar_t* TextOrEmpty(unsigned number) {
    const wchar_t* text = GetOrvelString(number);
    return text != nullptr ? text : L"";
}

// The number of a line read as "<key> %x": the line begins with the key,
// blanks may follow, then a hexadecimal number. None when the line does not
// read so, or when the number does not fit an unsigned long (which a scan
// into an int would silently wrap).
std::optional<unsigned long> ScanHexValue(const char* line, const char* key) {
    const std::size_t keyLength = std::strlen(key);
    if (std::strncmp(line, key, keyLength) != 0) return std::nullopt;
    const char* digits = line + keyLength;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(digits, &end, 16);
    if (end == digits || errno == ERANGE) return std::nullopt;
    return value;
}

// Reads the values of the keys before the common header.
class KeyReader {
  public:
    KeyReader(CFru& fru, CFile& file, const char* path, const CTrace& trace)
        : mFru(fru), mFile(file), mPath(path), mTrace(trace) {}

    // The state after the key on `line`; none, with the failure reported,
    // when its value cannot be used.
    std::optional<ReadState> Read(std::uint32_t line, ReadState state) {
        const StateKey& key = kStateKeys[state];
        switch (state) {
            case kFileName:
                return FileHeaderText(line, state, &CFileHeader::SetLfName);
            case kFileVersion:
                return FileHeaderText(line, state, &CFileHeader::SetLfVersion);
            case kFormatVersion:
                return FileHeaderText(line, state, &CFileHeader::SetLfFmtVersion);
            case kIpmiVersion:
                return FileHeaderText(line, state, &CFileHeader::SetIpmiVersion);
            case kTitle:
                return Title(line);
            case kDataLength: {
                const std::optional<unsigned long> value = ScanHexValue(Line(line), key.key);
                if (!value || *value > kMaxDataLength) return BadValue(key.name);
                return kNvsType;
            }
            case kNvsType:
                return NvsType(line);
            case kDeviceId:
                return LocatorByte(line, state, &FRU_LOCATOR::mFruDeviceId);
            case kController:
                return LocatorByte(line, state, &FRU_LOCATOR::mControllerAddress);
            case kLun:
                return LocatorByte(line, state, &FRU_LOCATOR::mLun);
            case kBus:
                return LocatorByte(line, state, &FRU_LOCATOR::mBus);
            case kSlaveAddress:
                return LocatorByte(line, state, &FRU_LOCATOR::mSlaveAddress);
            case kMbmcSizeAddress: {
                const std::optional<unsigned long> value = ScanHexValue(Line(line), key.key);
                if (!value) return BadValue(IDS_KEY_DEV_BUS);
                if (*value > kMaxByteValue) return BadValue(IDS_KEY_DEV_ADDRESS);
                mFru.GetDevLocator().mMbmcSizeAddress = static_cast<std::uint16_t>(*value);
                return kMbmcSizeData;
            }
            case kMbmcSizeData: {
                const std::optional<unsigned long> value = ScanHexValue(Line(line), key.key);
                if (!value) return BadValue(IDS_KEY_DEV_BUS);
                mFru.GetDevLocator().mMbmcSizeData = static_cast<std::uint8_t>(*value);
                return kBus;
            }
            default:
                // "_FRU (" and "_START_ADDR" carry nothing the FRU keeps.
                return NextKey(state);
        }
    }

  private:
    const char* Line(std::uint32_t line) const { return mFile.GetLine(line); }

    std::nullopt_t BadValue(unsigned keyName) const {
        mTrace.Failure(L"Unexpected Error while reading file");
        SetLastErrorString(IDS_FILE_BAD_VALUE, TextOrEmpty(keyName), mPath);
        return std::nullopt;
    }

    std::nullopt_t NoMemory() const {
        mTrace.Failure(L"Memory Allocation Error");
        SetLastErrorString(IDS_NO_MEMORY);
        return std::nullopt;
    }

    std::optional<ReadState> FileHeaderText(std::uint32_t line, ReadState state,
                                            bool (CFileHeader::*set)(const char*)) {
        const char* value = mFile.GetDelimitedString(line, FRU_SINGLE_QUOTE);
        if (value == nullptr) return BadValue(kStateKeys[state].name);
        if (!(mFru.FileHeader().*set)(value)) return NoMemory();
        return NextKey(state);
    }

    // An empty title is a FRU without a name, as the writer saves one.
    std::optional<ReadState> Title(std::uint32_t line) {
        const char* value = mFile.GetDelimitedString(line, FRU_SINGLE_QUOTE);
        if (value == nullptr) return BadValue(IDS_KEY_FRU_TITLE);
        try {
            const std::optional<std::wstring> name = ToWide(value);
            if (!name) return BadValue(IDS_KEY_FRU_TITLE);
            if (name->empty()) {
                mFru.GetDevLocator().mName.reset();
            } else {
                mFru.GetDevLocator().SetName(name->c_str());
            }
        } catch (const std::bad_alloc&) {
            return NoMemory();
        }
        return kStartAddress;
    }

    std::optional<ReadState> NvsType(std::uint32_t line) {
        const char* value = mFile.GetDelimitedString(line, FRU_SINGLE_QUOTE);
        if (value == nullptr) return BadValue(IDS_KEY_NVS_TYPE);
        const std::string_view name(value);
        FRU_LOCATOR& locator = mFru.GetDevLocator();
        if (name == FRU_NVS_AT24CO2_NAME) {
            locator.mType = FRU_NVS_AT24CO2;
        } else if (name == FRU_NVS_DS1624S_NAME) {
            locator.mType = FRU_NVS_DS1624S;
        } else if (name == FRU_NVS_IMBDEVICE_NAME) {
            locator.mType = FRU_NVS_IMBDEVICE;
        } else if (name == FRU_NVS_MBMC_NAME && g_fdPlatform == 3) {
            // Only a platform with an mBMC can reach such a device.
            locator.mType = FRU_NVS_MBMC;
            return kMbmcSizeAddress;
        } else {
            return BadValue(IDS_KEY_NVS_TYPE);
        }
        return kDeviceId;
    }

    std::optional<ReadState> LocatorByte(std::uint32_t line, ReadState state,
                                         std::uint8_t FRU_LOCATOR::*member) {
        const std::optional<unsigned long> value = ScanHexValue(Line(line), kStateKeys[state].key);
        if (!value || *value > kMaxByteValue) return BadValue(kStateKeys[state].name);
        mFru.GetDevLocator().*member = static_cast<std::uint8_t>(*value);
        return NextKey(state);
    }

    CFru& mFru;
    CFile& mFile;
    const char* mPath;
    const CTrace& mTrace;
};

// The most bytes an area's section may hold: an info area's image without
// its checksum, the whole internal use area, and for the multi-records what
// the device's 64 KB leave after the header. Every FRU the library reads
// from a device thus saves into a file it can load again.
std::size_t SectionLimit(ReadState area) {
    switch (area) {
        case kInternalUse:
            return kMaxInternalUseLength;
        case kMultiRecords:
            return kFruAddressSpace - FRU_HEADER_LENGTH;
        default:
            return kMaxInfoAreaLength - 1;
    }
}

// Says why the file was not opened: a FIFO, a device or a file far past
// any FRU's size is named as such, not as a file that is missing.
void SetOpenErrorMessage(const CFile& file, const char* path) {
    switch (file.Failure()) {
        case CFile::OpenFailure::kNotRegular:
            SetLastErrorString(IDS_FILE_NOT_REGULAR, path);
            break;
        case CFile::OpenFailure::kTooLong:
            SetLastErrorString(IDS_FILE_TOO_LONG, path, unsigned{CFile::kMaxFileLength});
            break;
        case CFile::OpenFailure::kLineTooLong:
            SetLastErrorString(IDS_FILE_LINE_TOO_LONG, unsigned{file.FailedLine()}, path,
                               unsigned{CFile::kMaxLineLength});
            break;
        default:
            SetLastErrorString(IDS_FILE_CANNOT_OPEN, path);
            break;
    }
}

}  // namespace

std::uint32_t CFru::ReadFRUFromFile(const char* path) {
    CTrace trace(kClass, L"ReadFRUFromFile");
    if (path == nullptr) {
        trace.Failure(L"Unexpected");
        SetLastErrorString(IDS_UNEXPECTED);
        return ORVEL_ERROR_FILE_READ;
    }
    CFile file;
    if (!file.Open(path)) {
        trace.Failure(L"Unexpected");
        SetOpenErrorMessage(file, path);
        return ORVEL_ERROR_FILE_READ;
    }
    file.StripRightFromSequence(FRU_COMMENT);
    file.Strip();

    KeyReader keys(*this, file, path, trace);
    std::vector<std::uint8_t> buffer;
    ReadState state = kFileName;
    std::uint32_t line = 0;
    while (state != kDone) {
        if (line >= file.LineCount()) {
            trace.Failure(L"Unexpected EOF");
            trace.Failure(L"File Read Error");
            SetLastErrorString(IDS_FILE_UNEXPECTED_END, path);
            return ORVEL_ERROR_FILE_READ;
        }
        const std::optional<ReadState> matched = MatchingState(file, line, state);
        if (!matched) {
            ++line;
            continue;
        }
        if (!IsAreaState(*matched)) {
            const std::optional<ReadState> next = keys.Read(line, *matched);
            if (!next) return ORVEL_ERROR_FILE_READ;
            state = *next;
            ++line;
            continue;
        }

        const StateKey& area = kStateKeys[*matched];
        std::uint32_t length = 0;
        buffer.resize(SectionLimit(*matched));
        if (const std::uint32_t status = ParseArea(area.key, file, line, buffer, length)) {
            SetParseAreaErrorMessage(status, area.name, path);
            return ORVEL_ERROR_FILE_READ;
        }
        const std::span<const std::uint8_t> bytes = std::span(buffer).first(length);
        if (*matched == kMultiRecords && bytes.size() < FRUMultiRecord::kHeaderLength) {
            // Not even one record header.
            SetParseAreaErrorMessage(ORVEL_ERROR_FILE_READ, area.name, path);
            return ORVEL_ERROR_FILE_READ;
        }
        if (!TakeArea(*this, *matched, bytes)) {
            trace.Failure(L"Area Parse Error");
            SetLastErrorString(IDS_AREA_PARSE_ERROR, TextOrEmpty(area.name), path);
            return ORVEL_ERROR_FILE_READ;
        }
        state = NextArea(mHeader, *matched);
    }
    return ORVEL_SUCCESS;
}

void CFru::SetParseAreaErrorMessage(std::uint32_t status, unsigned areaName, const char* path) {
    CTrace trace(kClass, L"SetParseAreaErrorMessage");
    struct Message {
        std::uint32_t status;
        unsigned text;
        const wchar_t* words;
    };
    static constexpr Message kMessages[] = {
        {ORVEL_ERROR_AREA_MISSING_TAG, IDS_AREA_MISSING_TAG, L"Missing Area Tag"},
        {ORVEL_ERROR_AREA_TOO_BIG, IDS_AREA_TOO_BIG, L"Area Too Big"},
        {ORVEL_ERROR_AREA_UNEXPECTED_CHARACTER, IDS_AREA_UNEXPECTED_CHARACTER,
         L"Unexpected Character"},
    };
    Message message{status, IDS_AREA_PARSE_ERROR, L"Area Parse Error"};
    for (const Message& known : kMessages) {
        if (known.status == status) message = known;
    }
    trace.Failure(message.words);
    SetLastErrorString(message.text, TextOrEmpty(areaName), path);
}

}  // namespace Orvel_Private
