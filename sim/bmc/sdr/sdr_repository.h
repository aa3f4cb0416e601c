// The BMC's Sensor Data Record repository: the records that describe the
// server's sensors and devices, kept in the state directory as a BMC keeps
// them in its flash, so that what one process adds the next one reads.
//
// COMMANDS (served by the BMC on LUN 0; a request on another LUN answers
// C2h, one of another length C7h, before the command looks at it). Every
// command first answers the busy fault when it strikes. "Current
// reservation" is the one the last Reserve SDR Repository handed out, while
// nothing cancelled it.
//
// Get SDR Repository Info (0Ah/20h): no data. 00h with SDR version 51h,
//   record count (LS first), free space in bytes (LS first), the most
//   recent addition and erase timestamps (seconds since 1970, LS first, 0
//   for never), operation support 26h (non-modal updates, Partial Add and
//   Reserve supported; no Delete SDR, no allocation info).
// Reserve SDR Repository (0Ah/22h): no data. 00h with a new reservation ID
//   (LS first, never 0000h); the one before it is cancelled. Any change of
//   the repository (a record added, an erase completed, an area image
//   taken) cancels the current reservation as well.
// Get SDR (0Ah/23h): reservation ID, record ID, offset, count (FFh: the
//   rest of the record). A read at offset 0 needs no reservation (so a
//   client can walk the headers); any other answers C5h unless it carries
//   the current reservation. Record ID 0000h is the first record, FFFFh
//   the last. CBh no such record (and any ID of an empty repository); C9h
//   offset at or past the record's end; CAh a count (FFh: the bytes to the
//   end) above max_read; 00h with the next record ID (FFFFh after the last
//   record) and the bytes, fewer than count when the record ends first.
// Partial Add SDR (0Ah/25h): reservation ID, record ID, offset, progress
//   (bits 3:0: 0 in progress, 1 last part), record bytes. C5h not the
//   current reservation; CCh another progress value; CCh a first part (no
//   add in progress, or offset 0) with a record ID other than 0000h or less
//   than a header of 5 bytes; CCh a later part whose record ID is not the
//   one the first part was answered with or whose offset is not the number
//   of bytes received so far; C4h a record that would not fit (capacity);
//   80h a last part after which the bytes are not the length the header
//   says (the add is dropped); 00h with the ID the record gets (the next
//   after the highest in use). The record appears, with that ID in its
//   header, only once the last part arrives.
// Clear SDR Repository (0Ah/27h): reservation ID, 43h 4Ch 52h ("CLR"),
//   AAh to start the erase or 00h to ask how it goes. C5h not the current
//   reservation (a status request may carry the one that started the
//   erase, which its end cancels); CCh not "CLR" or another last byte; 00h
//   with progress 00h (erasing) or 01h (completed; also when no erase was
//   ever started). The erase takes erase_ms of virtual time from its start;
//   the records are gone when it completes.
// OEM area commands of our BMC firmware (netFn 30h), the path that takes a
// whole repository image at once:
//   open area (A1h): 03h 00h. CCh another area; 00h. Opening starts a new
//     image (one left open is dropped).
//   write to area (A2h): sequence number, up to 16 image bytes. C7h more
//     than 16 or none; D5h no area open; CCh a sequence number other than
//     the expected one (first_sequence after opening, then one more each,
//     wrapping after FFh); C4h beyond capacity; 00h, the bytes appended.
//   close area (A3h): image length (4 bytes, LS first), checksum (2 bytes,
//     LS first). D5h no area open; CCh a length other than the bytes
//     written; CCh a checksum that does not bring the image's sum to zero
//     (the image as 16-bit little-endian words, an odd last byte the low
//     byte of a word of its own, summed modulo 65536, plus the checksum, is
//     0); CCh an image that is not a run of whole records, or whose record
//     IDs repeat or are 0000h or FFFFh; 00h, and the image, its records with
//     the IDs it gives them, is the repository. Any close ends the open area.
//
// SETTINGS (numbers decimal or 0x-hexadecimal):
//   sdr.file=sdr-repository.bin  the records in the state directory, raw
//                        and end to end (the timestamps in FILE.times)
//   sdr.initial=default  contents before any file: default (the records of
//                        sim/bmc/sdr/sdr_record_builder.h, DefaultSet) or empty
//   sdr.capacity=8192    bytes of record storage (free space = capacity
//                        less the records' bytes), at most 65534
//   sdr.max_read=32      largest Get SDR count the BMC answers (1..250)
//   sdr.erase_ms=200     virtual time an erase takes
//   sdr.area.first_sequence=1  sequence number of the first write to an
//                        area
// Faults (TIMES a number or "always"; counts start afresh in each process):
//   sdr.fault.busy=TIMES[:CC]  the repository and area commands answer CC
//                        (C0h) without looking at the request
//   sdr.fault.erase_stuck=1    an erase never completes (status stays 00h)
//   sdr.fault.cancel_reservation=N[:TIMES]  the current reservation is
//                        cancelled once N Get SDRs were answered on it,
//                        TIMES (1) times: a client in the middle of a
//                        record meets C5h
//   sdr.fault.drop_part=K,...  the K-th part (Partial Add SDRs and writes to
//                        the area counted together from 1) answers 00h and
//                        is not kept
//   sdr.fault.refuse_part=K[:CC]  the K-th part answers CC (FFh), not kept
//   sdr.fault.close_checksum=TIMES  close area answers the checksum refusal
//                        (CCh) for an image whose checksum is right
//   sdr.fault.loop=ID    Get SDR of record ID answers the first record's ID
//                        as the next one: the chain never ends
//   sdr.fault.length_byte=ID:VALUE  Get SDR shows VALUE as the length byte
//                        of record ID; the record's bytes stay what they are
//
// Request log: component "sdr", sim/bmc/sdr/sdr_log.h.
#ifndef SRVFW_SIM_BMC_SDR_SDR_REPOSITORY_H
#define SRVFW_SIM_BMC_SDR_SDR_REPOSITORY_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/bmc/sdr/sdr_log.h"
#include "sim/bmc/sdr/sdr_records.h"
#include "sim/bmc/sdr/sdr_settings.h"
#include "sim/core/machine.h"

namespace sim {

namespace sdr {

enum StorageCommand : std::uint8_t {
    kGetSdrRepositoryInfo = 0x20,
    kReserveSdrRepository = 0x22,
    kGetSdr = 0x23,
    kPartialAddSdr = 0x25,
    kClearSdrRepository = 0x27,
};
inline constexpr std::uint8_t kNetFnFirmwareArea = 0x30;
enum AreaCommand : std::uint8_t {
    kOpenArea = 0xA1,
    kWriteToArea = 0xA2,
    kCloseArea = 0xA3,
};
inline constexpr std::uint8_t kSdrArea = 0x03;
inline constexpr std::size_t kAreaWriteBytes = 16;

// The checksum close area expects of an image: its 16-bit little-endian
// word sum plus the checksum is 0 modulo 65536.
std::uint16_t ImageChecksum(std::span<const std::uint8_t> image);

}  // namespace sdr

class SdrRepository : public Device {
  public:
    SdrRepository(Machine& machine, Bmc& bmc);

    std::string Name() const override { return sdr::kLogComponent; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    const std::vector<sdr::Record>& Records() const { return mRecords; }
    // Makes the records the repository, as an area image does; the reason
    // when they cannot be (IDs repeated, 0000h or FFFFh; too large).
    std::optional<std::string> Replace(std::vector<sdr::Record> records);
    std::uint32_t AdditionTime() const { return mAdditionTime; }
    std::uint32_t EraseTime() const { return mEraseTime; }

  private:
    // One request as the handlers build its answer and its log entry.
    struct Exchange {
        sdr::RequestRecord record;
        std::string note;
    };
    // An add of Partial Add SDR parts not finished yet.
    struct PendingAdd {
        std::uint16_t id = 0;
        sdr::Record bytes;
    };
    struct Erase {
        std::uint64_t doneAtNs = 0;
        std::uint16_t reservation = 0;
    };
    struct AreaImage {
        std::vector<std::uint8_t> image;
        std::uint8_t nextSequence = 0;
    };

    void Register(ipmi::CommandTable& commands);
    ipmi::Response Answer(const Exchange& exchange, std::uint8_t completionCode,
                          std::vector<std::uint8_t> data = {});
    ipmi::Response Refuse(Exchange& exchange, std::uint8_t completionCode, std::string note);
    // The busy answer when the fault strikes.
    std::optional<ipmi::Response> Busy(Exchange& exchange);

    ipmi::Response Info(const ipmi::Request& request);
    ipmi::Response Reserve(const ipmi::Request& request);
    ipmi::Response GetSdr(const ipmi::Request& request);
    ipmi::Response PartialAdd(const ipmi::Request& request);
    ipmi::Response Clear(const ipmi::Request& request);
    ipmi::Response OpenArea(const ipmi::Request& request);
    ipmi::Response WriteArea(const ipmi::Request& request);
    ipmi::Response CloseArea(const ipmi::Request& request);

    // The index of the record Get SDR's ID names, or none.
    std::optional<std::size_t> IndexOf(std::uint16_t id) const;
    std::uint16_t NextFreeId() const;
    std::size_t UsedBytes() const;
    // A change of the records: the reservation goes, the time is noted.
    void Changed();
    // Completes an erase whose time has come.
    void SettleErase();
    // Whether the fault keeps the part (numbered from 1) from being kept;
    // sets *code to the refusal, 00h for a part dropped silently.
    bool PartLost(std::uint8_t* code);
    std::uint32_t Now() const;

    Machine& mMachine;
    sdr::RepositorySettings mConfig;
    std::vector<sdr::Record> mRecords;
    std::uint32_t mAdditionTime = 0;
    std::uint32_t mEraseTime = 0;
    std::uint16_t mLastReservation = 0;
    std::optional<std::uint16_t> mReservation;  // none: cancelled
    std::uint64_t mGetsOnReservation = 0;
    std::optional<PendingAdd> mPendingAdd;
    std::optional<Erase> mErase;
    // The reservation of the last erase completed, which may still ask its
    // status until the next Reserve.
    std::optional<std::uint16_t> mErasedWith;
    std::optional<AreaImage> mArea;
    std::uint64_t mParts = 0;
};

}  // namespace sim

#endif
