// The BMC's SDR repository, reached with the Storage commands of network
// function 0Ah: its information, every record read into the record lists,
// the erase, one record added in parts; and the BMC's own area commands
// (network function 30h) that take a whole SDR image at once.
//
// Every exchange is one request through the BMC message layer. A request
// that got no answer, and an answer with a completion code other than 00h,
// fail the operation: data that came with a refusal are never taken for
// record bytes. The only repetitions are bounded: the erase-status poll,
// and a record restarted with a new reservation when the BMC cancelled the
// one it was read or added under (as a BMC does whenever its SDRs change,
// for example while it starts).
#ifndef SRVFW_PEMRIC_SDR_READ_SYSTEM_H
#define SRVFW_PEMRIC_SDR_READ_SYSTEM_H

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "bmc/bmc_exchange.h"
#include "bmc/trace.h"
#include "pemric/sdr_progress.h"
#include "pemric/sdr_record_lists.h"
#include "pemric/sdr_texts.h"

namespace Pemric_Private {

// What Get SDR Repository Info says of the repository.
struct SDRPROPERTIES {
    std::uint8_t sdrVersion = 0;
    std::uint16_t recordCount = 0;
    std::uint16_t freeSpace = 0;
    std::uint32_t additionTimestamp = 0;
    std::uint32_t eraseTimestamp = 0;
    std::uint8_t operationSupport = 0;
};

// The whole of the longest record: the header and 255 bytes.
inline constexpr unsigned kRecordBuffer = 260;
using SdrRecordBuffer = std::array<unsigned char, kRecordBuffer>;

// How many times one record is started again after its reservation was
// cancelled, before the operation gives up.
inline constexpr unsigned kReservationRestarts = 4;

// The SDR area the image path writes.
inline constexpr std::uint8_t kSdrArea = 3;

class SdrReadSystem {
  public:
    SdrReadSystem(BmcExchange exchange, const CSdrTexts& texts, SdrProgress progress)
        : mExchange(exchange), mTexts(texts), mProgress(progress) {}

    unsigned LoadSdrProperties(SDRPROPERTIES& properties);
    // Reads the record recordId names into record and replaces recordId by
    // the next record's ID (FFFFh after the last).
    unsigned ReadRecFromBMC(SdrRecordBuffer& record, std::uint16_t& recordId);
    // Read the whole repository into lists; totalBytes receives the bytes
    // of all records read, headers included. The record count (of the
    // repository's information, or the one given) is what the progress
    // counts to, and bounds the load: a repository that yields far more
    // records, or whose next-record IDs come back to a record already
    // read, ends it with 0xC0060020. A record that does not decode ends the
    // first load; the second keeps it undecoded.
    unsigned LoadSdrRecordsToList(SdrRecordLists& lists, const SDRPROPERTIES& properties,
                                  unsigned& totalBytes);
    unsigned LoadSdrRecordsToListMBMC(SdrRecordLists& lists, unsigned count, unsigned& totalBytes);

    unsigned ClearSDRRepository();
    // Adds one record (header included) in parts of up to 16 bytes.
    unsigned SendRecordToBMC(std::span<const unsigned char> record);

    unsigned OpenArea(std::uint8_t area);
    // One part of the image under its sequence number.
    unsigned WriteToArea(std::uint8_t sequence, std::span<const unsigned char> part);
    unsigned CloseArea(std::uint32_t imageLength, std::uint16_t checksum);

  private:
    // What an exchange answered with C5h: the reservation it carried was
    // cancelled. It never leaves this class: the record is started again
    // under a new reservation, or the operation fails.
    static constexpr unsigned kReservationWasCancelled = 0xFFFFFFFF;

    // Reserve SDR Repository into reservation; failures are logged under
    // the operation's name (trace).
    unsigned Reserve(const CTrace& trace, std::array<std::uint8_t, 2>& reservation);
    // One Get SDR of count bytes at offset; bytes receives exactly count.
    unsigned GetSdrPart(const CTrace& trace, const std::array<std::uint8_t, 2>& reservation,
                        std::uint16_t recordId, unsigned offset, unsigned count,
                        std::uint16_t& nextId, unsigned char* bytes);
    unsigned ReadUnderOneReservation(const CTrace& trace, SdrRecordBuffer& record,
                                     std::uint16_t& recordId);
    unsigned SendUnderOneReservation(const CTrace& trace, std::span<const unsigned char> record);
    // attempt, again while its reservation was cancelled, at most
    // kReservationRestarts times more; then `failure`.
    unsigned UnderFreshReservations(const CTrace& trace, unsigned failure,
                                    const std::function<unsigned()>& attempt);
    unsigned LoadRecords(const CTrace& trace, SdrRecordLists& lists, unsigned expected,
                         unsigned& totalBytes, bool keepUndecoded);
    unsigned AddRecordToLists(SdrRecordLists& lists, SdrRecordBuffer& record, bool keepUndecoded);
    // A Storage request: 0; −507 as 0xC0060012; C5h for a request within a
    // record (inRecord) as kReservationWasCancelled; any other failure, or
    // another completion code than 00h, as `failure`.
    unsigned Exchange(std::uint8_t cmd, std::span<const std::uint8_t> head,
                      std::span<const std::uint8_t> payload, unsigned timeoutMs, unsigned failure,
                      bool inRecord = false);
    // An area request: any failure is 0xC006003B.
    unsigned AreaExchange(std::uint8_t cmd, std::span<const std::uint8_t> head,
                          std::span<const std::uint8_t> payload = {});

    BmcExchange mExchange;
    const CSdrTexts& mTexts;
    SdrProgress mProgress;
};

// The checksum the close of the area path carries: the image as 16-bit
// little-endian words (a last odd byte as a word of its own) sums with it
// to 0 modulo 65536.
std::uint16_t ChecksumSDRs(std::span<const unsigned char> image);

}  // namespace Pemric_Private

#endif
