// One firmware image in memory: the file read into the update buffer (the
// image as it will stand in the controller), the hex records in file
// order, and the information blocks the firmware carries inside its own
// image, which say for which controller and product it is built, where its
// areas lie and which versions they hold.
#ifndef SRVFW_DUVANE_FW_FILE_H
#define SRVFW_DUVANE_FW_FILE_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "include/duvane_interface.h"

class CTrace;

namespace DirectFwUpdate_Private {

// One line of a hex file as read.
struct VARNOHEXREC {
    std::uint8_t byteCount = 0;
    std::uint16_t loadOffset = 0;
    std::uint8_t recordType = 0;
    std::array<std::uint8_t, 128> data{};
    std::uint8_t checksum = 0;
};

inline constexpr std::uint8_t kHexDataRecord = 0;
inline constexpr std::uint8_t kHexEndOfFileRecord = 1;
inline constexpr std::uint8_t kHexSegmentAddressRecord = 2;
inline constexpr std::uint8_t kHexLinearAddressRecord = 4;

// An area's addresses in the controller, both ends included.
struct FwAreaRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

inline constexpr std::size_t kBootInfoSize = 92;
inline constexpr std::size_t kOpCodeInfoSize = 72;
inline constexpr std::size_t kEfsBlockSize = 112;
// Offsets inside the BootInfo block that the compatibility check compares.
inline constexpr std::size_t kBootInfoIdentification = 18;
inline constexpr std::size_t kBootInfoDeviceName = 34;
inline constexpr std::size_t kBootInfoDeviceNameLength = 5;
// Offset of the platform name inside the EFS block.
inline constexpr std::size_t kEfsPlatformName = 24;

class CfwFile {
  public:
    // The platform number decides which PIA types are accepted.
    CfwFile(FwFileType fileType, int platform);

    // Reads the file by its type, checks its information blocks and counts
    // the data records of each area. 0 or a C00Axxxxh code, with the
    // last-error message set. A null display name shows the path.
    int ProcessFile(const wchar_t* path, const wchar_t* displayName);
    int ReadHexFile(const wchar_t* path, const wchar_t* displayName);
    int ReadBinFile(const wchar_t* path, const wchar_t* displayName);
    int FillDeviceStructures();
    int CalculateNoOfLines();

    // Null when the selected area's block is not in the image.
    void GetVersion(wchar_t*& out);
    void GetDeviceName(wchar_t*& out);
    void GetDeviceAddress(unsigned char& out) const { out = mDeviceAddress; }
    void GetBIOSPlatformId(wchar_t*& out);
    void GetPiaVersionFromFile(unsigned& out) const { out = mPiaTypeFound; }
    std::span<const std::uint8_t> GetUpdateBuffer() const { return mUpdateBuffer; }
    void SelectDeviceArea(EFWUPDATE_DEVICE_AREA area) { mDeviceArea = area; }

    // size counts bytes; an odd last byte is the low byte of its word.
    static bool VerifyChecksum(const unsigned short* block, int size);
    // Over the complete pairs of the first `length` characters; a character
    // that is not a hex digit counts as 0.
    static unsigned char strChecksum(const char* hex, int length);
    bool IsHscVitesse() const;

    // What the update engine reads.
    FwFileType FileType() const { return mFileType; }
    const std::wstring& DisplayName() const { return mDisplayName; }
    // Whether the area's block was found; the RMM area follows the EFS block.
    bool HasArea(BmcFwArea area) const {
        return area >= 0 && area < BMC_FW_AREA_COUNT && mFound[area];
    }
    FwAreaRange Range(BmcFwArea area) const;
    // Data records of the area, for progress.
    unsigned RecordCount(BmcFwArea area) const;
    const std::vector<VARNOHEXREC>& Records() const { return mRecords; }
    std::span<const std::uint8_t, kBootInfoSize> BootInfoBlock() const { return mBootInfo; }
    std::span<const std::uint8_t, kEfsBlockSize> EfsBlock() const { return mEfs; }
    std::uint16_t PiaProductId() const { return mPiaProductId; }

  private:
    // Keeps the display name and empties the image of an earlier read.
    void StartReading(const wchar_t* path, const wchar_t* displayName);
    int ReadImage(const wchar_t* path, const wchar_t* displayName, bool hexRecords,
                  const CTrace& trace);
    int ParseHexLines(std::FILE* file, std::uint64_t fileSize);
    int ReadBinaryContents(std::FILE* file);
    void ClearBlocks();
    void FindInformationBlocks();
    void TakeBlock(BmcFwArea area, std::span<const std::uint8_t> block);
    void TakePia(std::span<const std::uint8_t> block);
    int CheckDevice();
    int Accept();
    bool PiaTypeAllowed(std::uint8_t type) const;
    bool IsVitesseDevice() const;
    void BuildTexts();

    // Texts a getter hands out as wchar_t*, in buffers of their own so that
    // building them cannot fail.
    using VersionText = std::array<wchar_t, DUVANE_VERSION_LENGTH + 1>;

    FwFileType mFileType;
    int mPlatform;
    std::wstring mDisplayName;
    std::array<bool, BMC_FW_AREA_COUNT> mFound{};
    std::array<std::uint8_t, kBootInfoSize> mBootInfo{};
    std::array<std::uint8_t, kOpCodeInfoSize> mOpCodeInfo{};
    std::array<std::uint8_t, kEfsBlockSize> mEfs{};
    std::uint8_t mPiaType = 0;
    std::uint8_t mPiaTypeFound = 0;
    std::array<std::uint8_t, 2> mPiaVersion{};
    std::uint16_t mPiaProductId = 0;
    std::array<FwAreaRange, BMC_FW_AREA_COUNT> mRanges{};
    std::array<unsigned, BMC_FW_AREA_COUNT> mRecordCounts{};
    std::vector<VARNOHEXREC> mRecords;
    std::vector<std::uint8_t> mUpdateBuffer;
    unsigned char mDeviceAddress = 0;
    VersionText mBootVersion{};
    VersionText mOpCodeVersion{};
    VersionText mPiaVersionText{};
    VersionText mEfsVersion{};
    std::array<wchar_t, 6> mDeviceName{};
    std::array<wchar_t, 17> mPlatformId{};
    EFWUPDATE_DEVICE_AREA mDeviceArea = EFWUPDATE_DEVICE_AREA_OPCODE;
};

}  // namespace DirectFwUpdate_Private

#endif
