// Reading and writing a FRU's storage through the BMC: a logical FRU device
// that a controller serves with Read FRU Data and Write FRU Data, or a serial
// EEPROM on a controller's private bus that the controller reads and writes
// for us with Master Write-Read.
//
// Data moves in chunks of at most 8 bytes, one request each. A controller
// that complains about a chunk's length (reads: C8h or CAh; writes: C7h) is
// asked again at the same offset with chunks of 4, then 1 byte; a complaint
// about a single byte fails the transfer. A busy controller (C0h) is asked
// for the same chunk again, up to kMaxBusyAnswers times in a row. Any other
// completion code fails a read with C0070028h and a write with C0070029h.
// A request that gets no response at all ends the transfer with the same
// codes; LastTransferGotNoAnswer() (orvel/fru_no_answer.h) then tells it
// from a refusal, so that a
// BMC that did not answer is never reported as bad FRU data.
//
// Every request goes through ReqMsg and RespMsg (orvel/orvel_globals.h).
#ifndef SRVFW_ORVEL_FRU_DEVICE_ACCESS_H
#define SRVFW_ORVEL_FRU_DEVICE_ACCESS_H

#include <cstdint>
#include <span>

#include "orvel/fru_locator.h"

namespace Orvel_Private {

// Busy answers (C0h) in a row that a transfer sits out before it gives up
// and fails like any other refusal. A controller stays busy for a few
// requests while it commits a write to its storage; 32 in a row is far
// beyond that and means it is not coming back.
inline constexpr unsigned kMaxBusyAnswers = 32;

// Reads buffer.size() bytes at `offset` of the device. `count` receives the
// bytes read: all of them on success, those before the failure otherwise.
// A range past the 64 KB the 16-bit offsets address is refused before
// anything is sent.
std::uint32_t ReadOrvelFromBmc(FRU_TYPE type, std::uint8_t lun, std::uint8_t bus,
                               std::uint8_t slaveAddress, std::uint8_t controllerAddress,
                               std::uint8_t fruDeviceId, std::uint16_t offset,
                               std::span<std::uint8_t> buffer, std::uint32_t& count);

// The first write routine: Write FRU Data for logical devices
// (FRU_NVS_IMBDEVICE), Master Write-Read for every other device.
std::uint32_t WriteOrvelToBmc(FRU_TYPE type, std::uint8_t lun, std::uint8_t bus,
                              std::uint8_t slaveAddress, std::uint8_t controllerAddress,
                              std::uint8_t fruDeviceId, std::uint16_t offset,
                              std::span<const std::uint8_t> bytes);

// The second write routine, for platform 3 with a BMC that is not a
// standard one: FRU_NVS_MBMC devices are logical devices there. The mBMC
// size values are carried with the locator; writing does not need them.
std::uint32_t WriteOrvelTomBmc(FRU_TYPE type, std::uint8_t lun, std::uint8_t bus,
                               std::uint8_t slaveAddress, std::uint8_t controllerAddress,
                               std::uint8_t fruDeviceId, std::uint16_t offset,
                               std::span<const std::uint8_t> bytes, std::uint8_t mbmcSizeData,
                               std::uint16_t mbmcSizeAddress);

}  // namespace Orvel_Private

#endif
