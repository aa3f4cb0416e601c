// One FRU in memory: its common header, its internal use, chassis, board and
// product areas, its multi-records and where it lives.
#ifndef SRVFW_ORVEL_FRU_H
#define SRVFW_ORVEL_FRU_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <vector>

#include "include/progress_callback.h"
#include "orvel/file_header.h"
#include "orvel/fru_access.h"
#include "orvel/fru_board_area.h"
#include "orvel/fru_chassis_area.h"
#include "orvel/fru_format.h"
#include "orvel/fru_header.h"
#include "orvel/fru_internal_use_area.h"
#include "orvel/fru_locator.h"
#include "orvel/fru_multirecord.h"
#include "orvel/fru_product_area.h"
#include "orvel/orvel_strings.h"

namespace Orvel_Private {

class CFile;

// Reads bytes.size() bytes of the FRU's storage at `offset`: 0, or the
// status of the failed read.
using FruReader = std::function<std::uint32_t(std::uint16_t offset, std::span<std::uint8_t> bytes)>;

class CFru {
  public:
    // Reads the FRU through `read`: the common header, then the board,
    // product, chassis, internal use and multi-record areas its header
    // announces. Stops at the first failure and returns its status (the
    // failures of the header, board, chassis, internal use and multi-record
    // areas also set the last-error text); what was read before stays.
    std::uint32_t ReadFruFromSystem(const FruReader& read);
    // ReadFruFromSystem from the device the locator names.
    std::uint32_t LoadFromSystem(const FruAccess& with);

    // Device access through the BMC (fru_device_access.cpp, fru_write.cpp),
    // with what the entry that started it hands down.
    // Reads bytes.size() bytes at `offset` of the device `locator` names.
    static std::uint32_t ReadDataFromFRU(const FruAccess& with, const FRU_LOCATOR& locator,
                                         std::uint16_t offset, std::span<std::uint8_t> bytes);
    // Writes the bytes at `offset` of this FRU's device with the write
    // routine the platform and the BMC type call for.
    std::uint32_t WriteOrvel(const FruAccess& with, std::uint16_t offset,
                             std::span<const std::uint8_t> bytes);
    // Writes the areas that need it, then the header, back to the device,
    // reporting each step to `progress` when one is given. `whole` writes
    // every area the header announces, edited or not. Asks the BMC's type
    // first and keeps it in with.bmcType.
    enum class Extent { kEdited, kWhole };
    std::uint32_t WriteToSystem(const FruAccess& with, PROGRESS_CALLBACK progress,
                                Extent extent = Extent::kEdited);
    // Two's complement of the bytes' sum.
    static std::uint8_t CalculateChecksum(std::span<const std::uint8_t> bytes);

    // The configuration file (fru_file_write.cpp, fru_file_read.cpp).
    std::uint32_t SaveFRUToFile(const char* path);
    std::uint32_t ReadFRUFromFile(const char* path);
    CFileHeader& FileHeader() { return mFileHeader; }

    // Whether the header announces the area (a non-zero offset).
    bool HasInternalArea() const;
    bool HasChassisArea() const;
    bool HasBoardArea() const;
    bool HasProductArea() const;
    bool HasMultiRecArea() const;
    std::uint32_t GetNumberOfAreas() const;

    // The header and the lengths of all areas.
    std::uint32_t GetOverallLength() const;
    std::uint32_t GetInternalAreaLength() const;
    std::uint32_t GetMultiRecAreaLength() const;

    // The locator's name; null when it has none.
    const wchar_t* GetFruNameString() const;
    FRU_LOCATOR& GetDevLocator() { return mLocator; }
    const FRU_LOCATOR& GetDevLocator() const { return mLocator; }
    // The locator's name, or the FRU identifier text made of its FRU device
    // ID, controller address, slave address and bus; cut to the buffer.
    static void GetFriendlyFruIdentifier(const FRU_LOCATOR& locator, std::span<wchar_t> buffer);

    void SerializeCommonHeader(std::span<std::uint8_t, FRU_HEADER_LENGTH> buffer);
    // Every record, header then data, in order. Fails with 0xC007002F, and
    // nothing written, when the records do not fit the buffer.
    std::uint32_t SerializeMultiRecArea(std::span<std::uint8_t> buffer,
                                        std::uint32_t& written) const;
    // Replaces the records with those the bytes hold and sets the
    // multi-record modified flag to `modified`. Bytes that end inside a
    // record (a header cut short, or less data than its length byte says)
    // are refused with 0xC0070015 and change nothing.
    std::uint32_t SetMultiRecArea(std::span<const std::uint8_t> bytes, bool modified);
    // Every record's checksums hold.
    bool CheckMultiRecCheckSum() const;
    bool IsMultiRecModified() const;
    void ResetMultiRecModified();

    // Lays the header and every area the header announces into `image` at
    // the area's header offset, growing the image as needed; bytes between
    // the areas are left as they are. This is where the areas belong on the
    // device, whatever order the header gives them.
    void SerializeFru(std::vector<std::uint8_t>& image);

    CFruHeader& Header() { return mHeader; }
    CInternalUseArea& InternalUseArea() { return mInternalUseArea; }
    CChassisInfoArea& ChassisInfoArea() { return mChassisArea; }
    CBoardInfoArea& BoardInfoArea() { return mBoardArea; }
    CProductInfoArea& ProductInfoArea() { return mProductArea; }
    std::span<const FRUMultiRecord> MultiRecords() const { return mMultiRecords; }

  private:
    std::uint32_t ReadFRUHeader(const FruReader& read,
                                std::span<std::uint8_t, FRU_HEADER_LENGTH> bytes);
    std::uint32_t GetCommonHeader(const FruReader& read);
    std::uint32_t GetBoardArea(const FruReader& read);
    std::uint32_t GetProductArea(const FruReader& read);
    std::uint32_t GetChassisArea(const FruReader& read);
    std::uint32_t GetInternalArea(const FruReader& read);
    std::uint32_t GetMultiRecArea(const FruReader& read);
    // Sets text `number`, formatted with the FRU's identifier, as last error.
    void SetAreaError(unsigned number) const;
    // The text for an info area the parser refused: `invalid`, or that the
    // area ends before its fixed fields do. `name` is the area's name.
    template <typename Area>
    void SetInfoAreaError(const Area& area, unsigned name, unsigned invalid) const {
        if (area.EndedBeforeFixedFields()) {
            SetAreaNameError(IDS_AREA_ENDS_BEFORE_FIXED_FIELDS, name);
        } else {
            SetAreaError(invalid);
        }
    }
    // Shows, through the display callback, that the area just read was
    // padded with other bytes than zeros.
    template <typename Area>
    void WarnAboutPadding(const Area& area, unsigned name) const {
        if (area.HadNonZeroPadding()) ShowAreaNameWarning(IDS_AREA_PADDING_NOT_ZERO, name);
    }
    void SetAreaNameError(unsigned number, unsigned name) const;
    void ShowAreaNameWarning(unsigned number, unsigned name) const;

    // Reads the bytes of the area section whose token is on line `line`
    // into `bytes`, their count into `length`, and moves `line` to the line
    // that ends the section (or past the last line). A section with more
    // bytes than `bytes` holds is too big.
    static std::uint32_t ParseArea(const char* token, CFile& file, std::uint32_t& line,
                                   std::span<std::uint8_t> bytes, std::uint32_t& length);
    // Sets the last-error text for a failed ParseArea (or a section the
    // reader cannot use), naming the area by its text number and the file.
    static void SetParseAreaErrorMessage(std::uint32_t status, unsigned areaName, const char* path);
    // Writes a field's data line; false when the file refuses it.
    static bool WriteDataToFRUFile(std::FILE* file, std::span<const std::uint8_t> bytes,
                                   std::uint8_t typeLength);

    CFruHeader mHeader;
    std::vector<FRUMultiRecord> mMultiRecords;
    std::uint16_t mMultiRecAreaLength = 0;
    bool mMultiRecModified = false;
    FRU_LOCATOR mLocator;
    CFileHeader mFileHeader;
    CInternalUseArea mInternalUseArea;
    CChassisInfoArea mChassisArea;
    CBoardInfoArea mBoardArea;
    CProductInfoArea mProductArea;
};

}  // namespace Orvel_Private

#endif
