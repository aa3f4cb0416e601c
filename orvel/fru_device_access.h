// Reading and writing a FRU's storage through the BMC: a logical FRU device
// that a controller serves with Read FRU Data and Write FRU Data, or a serial
// EEPROM on a controller's private bus that the controller reads and writes
// for us with Master Write-Read.
//
// Data moves in chunks of at most 8 bytes, one request each. A controller
// that complains about a chunk's length (reads: C8h or CAh; writes: C7h) is
// asked again at the same offset with chunks of 4, then 1 byte; a complaint
// about a single byte fails the transfer. A busy controller (C0h node busy,
// or 81h FRU device busy) is asked for the same chunk again, up to
// kMaxBusyAnswers answers in a row, after a pause that starts at
// kFirstBusyPauseMs and doubles up to kLongestBusyPauseMs: a controller that
// is committing a write needs milliseconds, not the microseconds the next
// request would take. The pauses of one run of busy answers add up to at
// most kMostBusyWaitMs (1788 ms); any other answer ends the run. Any other
// completion code fails a read with C0070028h and a write with C0070029h.
//
// Write FRU Data answers with the number of bytes the controller took. A
// count short of the chunk is continued: the next request starts after the
// bytes taken, with the rest. A count of 0 is a controller that took
// nothing yet; it waits like a busy answer (and counts toward the same
// bound) and fails the write at the kMaxStalledWrites-th with no byte taken
// in between. A count
// larger than the chunk, or an answer without one, fails the write at once:
// what the device holds is then unknown, and the bytes are never reported
// as written. Master Write-Read answers carry no count.
//
// A request that gets no response at all ends the transfer with the same
// codes; LastTransferGotNoAnswer() (orvel/fru_no_answer.h) then tells it
// from a refusal, so that a
// BMC that did not answer is never reported as bad FRU data.
//
// Every request goes through the exchange of the FruAccess the caller
// hands down (orvel/fru_access.h).
#ifndef SRVFW_ORVEL_FRU_DEVICE_ACCESS_H
#define SRVFW_ORVEL_FRU_DEVICE_ACCESS_H

#include <cstdint>
#include <span>

#include "orvel/fru_access.h"
#include "orvel/fru_locator.h"

namespace Orvel_Private {

// Busy answers (C0h, 81h) in a row that a transfer sits out before it gives
// up and fails like any other refusal. A controller stays busy for a few
// requests while it commits a write to its storage; 32 in a row, nearly two
// seconds of pauses, is far beyond that and means it is not coming back.
inline constexpr unsigned kMaxBusyAnswers = 32;

// The pause before the request that follows a busy answer: the first one
// kFirstBusyPauseMs, each next one twice the last, none longer than
// kLongestBusyPauseMs.
inline constexpr unsigned kFirstBusyPauseMs = 4;
inline constexpr unsigned kLongestBusyPauseMs = 64;

// The pause after the `answers`-th busy answer in a row (from 1).
constexpr unsigned BusyPauseMs(unsigned answers) {
    unsigned pause = kFirstBusyPauseMs;
    for (unsigned n = 1; n < answers && pause < kLongestBusyPauseMs; ++n) pause *= 2;
    return pause < kLongestBusyPauseMs ? pause : kLongestBusyPauseMs;
}

// The longest a run of busy answers waits in all: a pause after each busy
// answer but the last, which fails the transfer.
constexpr unsigned MostBusyWaitMs() {
    unsigned total = 0;
    for (unsigned answers = 1; answers < kMaxBusyAnswers; ++answers) total += BusyPauseMs(answers);
    return total;
}
inline constexpr unsigned kMostBusyWaitMs = MostBusyWaitMs();
// The README states this bound; it changes with the numbers above.
static_assert(kMostBusyWaitMs == 1788);

// Write FRU Data answers that took no byte (count written 0), with none
// taken in between, that fail the write.
inline constexpr unsigned kMaxStalledWrites = 3;

// Reads buffer.size() bytes at `offset` of the device. `count` receives the
// bytes read: all of them on success, those before the failure otherwise.
// A range past the 64 KB the 16-bit offsets address is refused before
// anything is sent.
std::uint32_t ReadOrvelFromBmc(const FruAccess& with, FRU_TYPE type, std::uint8_t lun,
                               std::uint8_t bus, std::uint8_t slaveAddress,
                               std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                               std::uint16_t offset, std::span<std::uint8_t> buffer,
                               std::uint32_t& count);

// The first write routine: Write FRU Data for logical devices
// (FRU_NVS_IMBDEVICE), Master Write-Read for every other device.
std::uint32_t WriteOrvelToBmc(const FruAccess& with, FRU_TYPE type, std::uint8_t lun,
                              std::uint8_t bus, std::uint8_t slaveAddress,
                              std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                              std::uint16_t offset, std::span<const std::uint8_t> bytes);

// The second write routine, for platform 3 with a BMC that is not a
// standard one: FRU_NVS_MBMC devices are logical devices there. The mBMC
// size values are carried with the locator; writing does not need them.
std::uint32_t WriteOrvelTomBmc(const FruAccess& with, FRU_TYPE type, std::uint8_t lun,
                               std::uint8_t bus, std::uint8_t slaveAddress,
                               std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                               std::uint16_t offset, std::span<const std::uint8_t> bytes,
                               std::uint8_t mbmcSizeData, std::uint16_t mbmcSizeAddress);

}  // namespace Orvel_Private

#endif
