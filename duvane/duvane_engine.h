// The update engine: everything the library says to a controller. It
// writes an image's areas into the controller's firmware memory, checks
// them, reads the running versions and answers whether an image suits the
// system. One object lives for the library's life between Initialize and
// DeInitialize; the public entries forward to it.
#ifndef SRVFW_DUVANE_DUVANE_ENGINE_H
#define SRVFW_DUVANE_DUVANE_ENGINE_H

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bmc/bmc_exchange.h"
#include "bmc/message.h"
#include "duvane/fw_file.h"
#include "include/duvane_interface.h"

namespace DirectFwUpdate_Private {

// The area numbers the write and verify steps take, each naming one area of
// the image.
enum UpdateType : int {
    UPDATE_OPCODE = 1,
    UPDATE_PIA = 2,
    UPDATE_BOOT = 4,
    UPDATE_EFS = 5,
};

inline constexpr std::uint16_t kNoSegment = 0xFFFF;
inline constexpr std::uint8_t kNoDevice = 0xFF;
inline constexpr unsigned kDefaultBlockSize = 16;
inline constexpr unsigned kUsbBlockSize = 0x4000;
inline constexpr unsigned kWriterBufferSize = 0x10000;

// Vitesse mode: which areas a hot-swap controller's update writes.
inline constexpr int kVitesseMode = 1;
inline constexpr int kOtherHscMode = 2;

extern const std::array<const wchar_t*, BMC_FW_AREA_COUNT> strBmcFwArea;
BmcFwArea AreaOf(UpdateType type);

class CDuvane {
  public:
    CDuvane();
    ~CDuvane();
    CDuvane(const CDuvane&) = delete;
    CDuvane& operator=(const CDuvane&) = delete;

    // --- what the public entries use
    void SelectDeviceAddress(std::uint8_t address) { mDeviceAddress = address; }
    std::uint8_t DeviceAddress() const { return mDeviceAddress; }
    void SelectDeviceArea(EFWUPDATE_DEVICE_AREA area) { mDeviceArea = area; }
    void SelectArea(BmcFwArea area) { mUpdateSelected[area] = true; }
    bool AreaSelected(BmcFwArea area) const { return mUpdateSelected[area]; }
    int LoadSystemVersions();
    // The running version of the selected device area ("%X.%02X"), empty
    // when the controller did not give it.
    const std::wstring& SystemVersion() const;
    int UpdateSystem(CfwFile& image);
    int IsConfigurationFileForSystem(CfwFile& image, bool& forSystem);
    int ReadEfsConfigurationFromSystem(CfwFile& image);
    int LockFrontPanel(bool lock);
    int BmcRefresh();
    int VitesseMode() const { return mVitesseMode; }
    unsigned BlockSize() const { return mBlockSize; }

    // --- the firmware commands (08h), each 0 or a C00Axxxxh code
    int GetMode(std::uint8_t device, bool& inTransferMode);
    int EnterFwTransferMode(std::uint8_t device, const char* signature);
    int ExitFwTransferMode(std::uint8_t device, std::uint8_t argument);
    int SetSegment(std::uint8_t device, std::uint16_t segment);
    int WriteLowlvl(std::uint8_t device, std::uint16_t segment, std::uint16_t offset,
                    std::span<const std::uint8_t> bytes);
    // The bytes the controller gave back, fewer than asked when it gave fewer.
    int Read(std::uint8_t device, std::uint32_t address, unsigned count,
             std::vector<std::uint8_t>& bytes);
    int RangeCheckSum(std::uint8_t device, std::uint32_t first, std::uint32_t last,
                      std::uint16_t& checksum);
    int GetBufferSize(std::uint8_t device);

    // --- the buffered writer of the record path
    int Write(std::uint8_t device, std::uint16_t segment, std::uint16_t offset,
              std::span<const std::uint8_t> bytes);
    int FlushWriter(std::uint8_t device);

    // --- area steps on the image being committed
    int UpdateRange(UpdateType type, std::uint8_t device, std::uint32_t start, std::uint32_t end);
    int VerifyCheckSum(UpdateType type, std::uint8_t device, std::uint32_t start,
                       std::uint32_t end);
    int VerifyRange(UpdateType type, std::uint8_t device, std::uint32_t start, std::uint32_t end);
    int UpdateAreaEx(UpdateType type, std::uint8_t device);
    int VerifyAreaEx(UpdateType type, std::uint8_t device);
    int UpdateArea(UpdateType type, std::uint8_t device);
    int VerifyArea(UpdateType type, std::uint8_t device);
    void UseImage(CfwFile* image) { mImage = image; }

    // --- the management engine's staging commands
    int GetUpdateStatus(std::uint8_t& status);
    int ResetME(std::uint8_t argument);
    // Back from transfer mode into normal operation, whatever the staging
    // came to.
    void ResetMeToNormal();
    int EraseStagingArea();
    int OpenArea(std::uint8_t area);
    int WriteToArea(std::uint8_t sequence, std::span<const std::uint8_t> bytes);
    int CloseArea(std::uint32_t length, std::uint16_t checksum);
    int UpdateStagingArea(std::uint8_t area, std::uint32_t start, std::uint32_t end,
                          unsigned label);

    // --- vendor features
    int GetAdvancedFeatureSupportCommand(std::span<const std::uint8_t, 4> arguments,
                                         std::vector<std::uint8_t>& response);
    int GetRmmVersion();

  private:
    // One request and its answer. `ok` when the transport delivered an
    // answer whose completion code is 0.
    struct Answer {
        int transport = 0;
        std::uint8_t completionCode = 0;
        std::span<const std::uint8_t> data;
        bool ok() const { return transport == 0 && completionCode == 0; }
    };
    // To the BMC directly, to the management engine on its channel, to the
    // other controllers on the primary IPMB.
    Answer Send(std::uint8_t device, std::uint8_t netFn, std::uint8_t cmd,
                std::span<const std::uint8_t> head, std::span<const std::uint8_t> payload = {});
    // Leaves transfer mode when this engine entered it and has not left.
    void LeaveTransferMode(std::uint8_t device);
    void ForgetSegment();
    bool IsHsc(std::uint8_t device) const;
    bool IsVitesseHsc(std::uint8_t device) const;
    bool RetryingStaging() const;
    FwAreaRange AreaRange(UpdateType type) const;
    int CheckRangeInImage(UpdateType type, FwAreaRange range) const;
    void ReportPercent(unsigned label, std::uint64_t done, std::uint64_t total) const;
    // Waits out a controller's restart, reporting the time gone by.
    void WaitForRestart(unsigned seconds) const;
    void ShowProgressMessage(const wchar_t* text) const;
    int SelectionCheck(CfwFile& image, std::uint8_t& device);
    int UpdateRangeDevice(std::uint8_t device);
    int UpdateFrontPanel(std::uint8_t device);
    int UpdateStaging();
    int StageImage();
    void UseUsbPath();
    int ReadDeviceBlock(std::uint8_t device, FwAreaRange range, const char* signature,
                        std::size_t blockSize, std::vector<std::uint8_t>& block);
    int FrontPanelLockByChassis(bool lock);

    std::array<bool, BMC_FW_AREA_COUNT> mUpdateSelected{};
    CfwFile* mImage = nullptr;
    // Operational code, PIA, boot, EFS, RMM.
    std::array<std::wstring, 5> mSystemVersions;
    std::unique_ptr<BMC_MESSAGE> mRequest = std::make_unique<BMC_MESSAGE>();
    std::unique_ptr<BMC_MESSAGE> mResponse = std::make_unique<BMC_MESSAGE>();
    std::uint8_t mDeviceAddress = 0;
    EFWUPDATE_DEVICE_AREA mDeviceArea = EFWUPDATE_DEVICE_AREA_OPCODE;
    int mVitesseMode = kOtherHscMode;
    std::uint16_t mProductId = 0;
    unsigned mBlockSize = kDefaultBlockSize;
    std::optional<unsigned> mSavedBlockSize;
    bool mStaging = false;
    // The device transfer mode was entered on and not yet left.
    std::uint8_t mInTransferMode = kNoDevice;
    // What SetSegment last set, so that an unchanged segment costs nothing.
    std::uint8_t mSegmentDevice = kNoDevice;
    std::uint16_t mSegment = kNoSegment;
    // The buffered writer's block: where it starts and its bytes.
    std::uint16_t mWriterSegment = kNoSegment;
    std::uint16_t mWriterOffset = kNoSegment;
    std::vector<std::uint8_t> mWriterBuffer;
};

}  // namespace DirectFwUpdate_Private

#endif
