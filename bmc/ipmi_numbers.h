// The IPMI numbers the client side speaks: network functions, commands and
// completion codes, each named once for every library that talks to a BMC.
// The simulator keeps its own table on purpose, so that a number wrong here
// shows up as a request the simulated BMC refuses rather than as a mistake
// both sides share.
#ifndef SRVFW_BMC_IPMI_NUMBERS_H
#define SRVFW_BMC_IPMI_NUMBERS_H

#include <cstdint>

namespace ipmi {

// Network functions of requests, unshifted (a response's is one higher).
inline constexpr std::uint8_t kNetFnChassis = 0x00;
inline constexpr std::uint8_t kNetFnApp = 0x06;
inline constexpr std::uint8_t kNetFnFirmware = 0x08;
inline constexpr std::uint8_t kNetFnStorage = 0x0A;
// The BMC vendor's own commands (the SDR area of the BMC firmware).
inline constexpr std::uint8_t kNetFnOem = 0x30;

// Chassis commands.
inline constexpr std::uint8_t kGetChassisCapabilities = 0x00;
inline constexpr std::uint8_t kSetChassisCapabilities = 0x05;

// Firmware commands: a controller's own firmware memory, written while the
// controller runs its boot code in firmware transfer mode.
inline constexpr std::uint8_t kEnterFwTransferMode = 0x00;
inline constexpr std::uint8_t kWriteFwMemory = 0x01;
inline constexpr std::uint8_t kReadFwMemory = 0x02;
inline constexpr std::uint8_t kFwRangeChecksum = 0x03;
inline constexpr std::uint8_t kExitFwTransferMode = 0x04;
inline constexpr std::uint8_t kSetFwSegment = 0x05;

// Application commands.
inline constexpr std::uint8_t kGetDeviceId = 0x01;
inline constexpr std::uint8_t kGetMessage = 0x33;
inline constexpr std::uint8_t kSendMessage = 0x34;
inline constexpr std::uint8_t kMasterWriteRead = 0x52;

// Storage commands.
inline constexpr std::uint8_t kReadFruData = 0x11;
inline constexpr std::uint8_t kWriteFruData = 0x12;
inline constexpr std::uint8_t kGetSdrRepositoryInfo = 0x20;
inline constexpr std::uint8_t kReserveSdrRepository = 0x22;
inline constexpr std::uint8_t kGetSdr = 0x23;
inline constexpr std::uint8_t kPartialAddSdr = 0x25;
inline constexpr std::uint8_t kClearSdrRepository = 0x27;

// OEM commands of the BMC's SDR area: open an area, write one sequenced
// part of the image, close it with the image's length and checksum.
inline constexpr std::uint8_t kOpenArea = 0xA1;
inline constexpr std::uint8_t kWriteToArea = 0xA2;
inline constexpr std::uint8_t kCloseArea = 0xA3;

// OEM commands of the firmware update: the block size a controller takes,
// the BMC's advanced features (the RMM among them), the front panel lock,
// and the management engine's staging area. Open, write and close of the
// staging area are the area commands above.
inline constexpr std::uint8_t kFrontPanelLock = 0x1E;
inline constexpr std::uint8_t kGetBufferSize = 0x66;
inline constexpr std::uint8_t kGetAdvancedFeatureSupport = 0x71;
inline constexpr std::uint8_t kEraseStagingArea = 0xA0;
inline constexpr std::uint8_t kGetUpdateStatus = 0xA6;
inline constexpr std::uint8_t kResetMe = 0xDF;

// Completion codes.
inline constexpr std::uint8_t kCompletionOk = 0x00;
// Get Message: the receive message queue is empty.
inline constexpr std::uint8_t kMessageQueueEmpty = 0x80;
// Read/Write FRU Data: the FRU device is busy (committing a write, for one).
inline constexpr std::uint8_t kFruDeviceBusy = 0x81;
// The management engine's staging commands: 80h refused, 82h busy, 83h the
// image does not suit this engine.
inline constexpr std::uint8_t kStagingRefused = 0x80;
inline constexpr std::uint8_t kStagingBusy = 0x82;
inline constexpr std::uint8_t kStagingNotCompatible = 0x83;
// Send Message: the controller did not acknowledge the request on the bus.
inline constexpr std::uint8_t kNakOnWrite = 0x83;
inline constexpr std::uint8_t kNodeBusy = 0xC0;
inline constexpr std::uint8_t kTimeout = 0xC3;
// The reservation the request carries was cancelled by a newer one or by
// a change to the repository.
inline constexpr std::uint8_t kReservationCancelled = 0xC5;
inline constexpr std::uint8_t kRequestLengthInvalid = 0xC7;
inline constexpr std::uint8_t kRequestFieldLengthExceeded = 0xC8;
inline constexpr std::uint8_t kCannotReturnBytes = 0xCA;
inline constexpr std::uint8_t kInvalidDataField = 0xCC;
inline constexpr std::uint8_t kUnspecifiedError = 0xFF;

}  // namespace ipmi

#endif
