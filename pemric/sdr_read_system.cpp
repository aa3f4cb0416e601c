#include "pemric/sdr_read_system.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "bmc/ipmi_numbers.h"
#include "bmc/message.h"
#include "bmc/trace.h"
#include "hw/hw.h"
#include "pemric/pemric_status.h"
#include "pemric/sdr_factory.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

constexpr unsigned kTimeoutMs = 5000;
constexpr unsigned kErasePollTimeoutMs = 500;
constexpr unsigned kErasePolls = 3;
// An erase takes the BMC a while; polling without a pause would give up
// on an erase that is merely slow.
constexpr unsigned kErasePollPauseUs = 500 * 1000;
constexpr std::uint16_t kLastRecordId = 0xFFFF;
constexpr unsigned kPartLength = 16;
constexpr unsigned kInfoLength = 14;

// Clear SDR Repository: the letters C, L, R, then start or ask.
constexpr std::uint8_t kClearStart = 0xAA;
constexpr std::uint8_t kClearStatus = 0x00;
constexpr std::uint8_t kEraseCompleted = 0x01;
constexpr std::uint8_t kEraseProgressMask = 0x0F;

// Partial Add SDR: more parts follow, or this is the last.
constexpr std::uint8_t kAddInProgress = 0;
constexpr std::uint8_t kAddLastPart = 1;

std::uint16_t Word(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
}

std::uint32_t DoubleWord(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint32_t>(Word(data, at)) |
           (static_cast<std::uint32_t>(Word(data, at + 2)) << 16);
}

// The record count a repository may yield before its load is cut off:
// more than twice what its information reported, and some room for records
// added while it is read.
unsigned RecordLimit(unsigned expected) {
    return 2 * expected + 16;
}

}  // namespace

unsigned SdrReadSystem::Exchange(std::uint8_t cmd, std::span<const std::uint8_t> head,
                                 std::span<const std::uint8_t> payload, unsigned timeoutMs,
                                 unsigned failure, bool inRecord) {
    if (!mExchange.Fill({.netFn = ipmi::kNetFnStorage, .cmd = cmd}, head, payload)) return failure;
    const int result = mExchange.Send(timeoutMs);
    if (result == BMC_COMPLETION_CODE) return PEMRIC_BMC_COMPLETION_CODE;
    if (result != 0) return failure;
    if (inRecord && mExchange.CompletionCode() == ipmi::kReservationCancelled) {
        return kReservationWasCancelled;
    }
    if (mExchange.CompletionCode() != ipmi::kCompletionOk) return failure;
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::UnderFreshReservations(const CTrace& trace, unsigned failure,
                                               const std::function<unsigned()>& attempt) {
    for (unsigned tries = 0; tries <= kReservationRestarts; ++tries) {
        const unsigned status = attempt();
        if (status != kReservationWasCancelled) return status;
        trace.Failure(L"Reservation Cancelled");
    }
    trace.Failure(L"Reservation Cancelled Too Often");
    return failure;
}

unsigned SdrReadSystem::LoadSdrProperties(SDRPROPERTIES& properties) {
    CTrace trace(L"SdrReadSystem", L"CountIPMI10SDRTypes");
    const unsigned status =
        Exchange(ipmi::kGetSdrRepositoryInfo, {}, {}, kTimeoutMs, PEMRIC_BMC_REQUEST_FAILED);
    const std::span<const std::uint8_t> data = mExchange.Data();
    if (status == PEMRIC_BMC_COMPLETION_CODE) trace.Failure(L"BMC Completion Code Error");
    if (status != PEMRIC_SUCCESS || data.size() < kInfoLength) {
        trace.Failure(L"Error Reading SDR Info");
        return status != PEMRIC_SUCCESS ? status : PEMRIC_BMC_REQUEST_FAILED;
    }
    properties.sdrVersion = data[0];
    properties.recordCount = Word(data, 1);
    properties.freeSpace = Word(data, 3);
    properties.additionTimestamp = DoubleWord(data, 5);
    properties.eraseTimestamp = DoubleWord(data, 9);
    properties.operationSupport = data[13];
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::Reserve(const CTrace& trace, std::array<std::uint8_t, 2>& reservation) {
    const unsigned status =
        Exchange(ipmi::kReserveSdrRepository, {}, {}, kTimeoutMs, PEMRIC_RESERVATION_FAILED);
    if (status == PEMRIC_BMC_COMPLETION_CODE) {
        trace.Failure(L"BMC Completion Code Error");
        return status;
    }
    if (status != PEMRIC_SUCCESS) {
        trace.Failure(L"Error Reading Reserve ID");
        return status;
    }
    const std::span<const std::uint8_t> data = mExchange.Data();
    if (data.size() != reservation.size()) {
        trace.Failure(L"Bad Reserve ID Length");
        return PEMRIC_RESERVATION_LENGTH;
    }
    std::ranges::copy(data, reservation.begin());
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::GetSdrPart(const CTrace& trace,
                                   const std::array<std::uint8_t, 2>& reservation,
                                   std::uint16_t recordId, unsigned offset, unsigned count,
                                   std::uint16_t& nextId, unsigned char* bytes) {
    const std::array<std::uint8_t, 6> request = {reservation[0],
                                                 reservation[1],
                                                 static_cast<std::uint8_t>(recordId & 0xFF),
                                                 static_cast<std::uint8_t>(recordId >> 8),
                                                 static_cast<std::uint8_t>(offset),
                                                 static_cast<std::uint8_t>(count)};
    const unsigned status =
        Exchange(ipmi::kGetSdr, request, {}, kTimeoutMs, PEMRIC_GET_SDR_FAILED, true);
    if (status == PEMRIC_BMC_COMPLETION_CODE) trace.Failure(L"BMC Completion Code Error");
    if (status == PEMRIC_BMC_COMPLETION_CODE || status == kReservationWasCancelled) return status;
    const std::span<const std::uint8_t> data = mExchange.Data();
    // Fewer bytes than asked would leave a hole in the record.
    if (status != PEMRIC_SUCCESS || data.size() < 2 + count) {
        trace.Failure(L"Error Reading SDR");
        return PEMRIC_GET_SDR_FAILED;
    }
    nextId = Word(data, 0);
    std::copy_n(data.begin() + 2, count, bytes);
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::ReadUnderOneReservation(const CTrace& trace, SdrRecordBuffer& record,
                                                std::uint16_t& recordId) {
    std::array<std::uint8_t, 2> reservation{};
    if (const unsigned status = Reserve(trace, reservation)) return status;
    std::uint16_t nextId = 0;
    if (const unsigned status = GetSdrPart(trace, reservation, recordId, 0, kRecordHeaderLength,
                                           nextId, record.data())) {
        return status;
    }
    const unsigned size = record[4] + kRecordHeaderLength;
    for (unsigned offset = kRecordHeaderLength; offset < size; offset += kPartLength) {
        const unsigned count = std::min(kPartLength, size - offset);
        std::uint16_t ignored = 0;
        if (const unsigned status = GetSdrPart(trace, reservation, recordId, offset, count, ignored,
                                               record.data() + offset)) {
            return status;
        }
    }
    recordId = nextId;
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::ReadRecFromBMC(SdrRecordBuffer& record, std::uint16_t& recordId) {
    CTrace trace(L"SdrReadSystem", L"ReadRecFromBMC");
    return UnderFreshReservations(trace, PEMRIC_GET_SDR_FAILED,
                                  [&] { return ReadUnderOneReservation(trace, record, recordId); });
}

unsigned SdrReadSystem::AddRecordToLists(SdrRecordLists& lists, SdrRecordBuffer& record,
                                         bool keepUndecoded) {
    CSdr* created = nullptr;
    if (const unsigned status = CreateSDRTypeObject(record[3], created, mTexts)) return status;
    std::unique_ptr<CSdr> object(created);
    const unsigned decoded = object->DecodeSDR(record.data());
    if (decoded != PEMRIC_SUCCESS && !keepUndecoded) return decoded;
    if (const unsigned status = object->CopyrawSDR(record.data())) return status;
    if (lists.byType[TypeOrderIndex(record[3])].Add(object.get()) == nullptr) {
        return PEMRIC_OUT_OF_MEMORY;
    }
    object.release();
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::LoadSdrRecordsToList(SdrRecordLists& lists, const SDRPROPERTIES& properties,
                                             unsigned& totalBytes) {
    CTrace trace(L"SdrReadSystem", L"LoadSdrRecordsToList");
    return LoadRecords(trace, lists, properties.recordCount, totalBytes, false);
}

unsigned SdrReadSystem::LoadSdrRecordsToListMBMC(SdrRecordLists& lists, unsigned count,
                                                 unsigned& totalBytes) {
    CTrace trace(L"SdrReadSystem", L"LoadSdrRecordsToListMBMC");
    return LoadRecords(trace, lists, count, totalBytes, true);
}

unsigned SdrReadSystem::LoadRecords(const CTrace& trace, SdrRecordLists& lists, unsigned expected,
                                    unsigned& totalBytes, bool keepUndecoded) {
    totalBytes = 0;
    std::uint16_t recordId = 0;
    // The IDs the records read carry: a next-record ID among them means the
    // chain has come round (record 0000h is the first record's alias, so
    // the IDs asked for would not show it).
    std::set<std::uint16_t> read;
    unsigned steps = 0;
    unsigned status = PEMRIC_SUCCESS;
    while (recordId != kLastRecordId && status == PEMRIC_SUCCESS) {
        if (read.contains(recordId) || read.size() >= RecordLimit(expected)) {
            trace.Failure(L"Record Chain Does Not End");
            return PEMRIC_GET_SDR_FAILED;
        }
        SdrRecordBuffer record{};
        status = ReadRecFromBMC(record, recordId);
        if (status == PEMRIC_SUCCESS) {
            read.insert(static_cast<std::uint16_t>(record[0] | (record[1] << 8)));
            status = AddRecordToLists(lists, record, keepUndecoded);
            if (status == PEMRIC_SUCCESS) totalBytes += record[4] + kRecordHeaderLength;
        }
        mProgress.Count(mTexts.Text(kProgressReadingRecords), ++steps, expected);
    }
    return status;
}

unsigned SdrReadSystem::ClearSDRRepository() {
    CTrace trace(L"SdrReadSystem", L"ClearSDRRepository");
    std::array<std::uint8_t, 2> reservation{};
    if (const unsigned status = Reserve(trace, reservation)) return status;
    std::array<std::uint8_t, 6> request = {reservation[0], reservation[1], 'C', 'L', 'R',
                                           kClearStart};
    unsigned status =
        Exchange(ipmi::kClearSdrRepository, request, {}, kTimeoutMs, PEMRIC_BMC_REQUEST_FAILED);
    request[5] = kClearStatus;
    for (unsigned poll = 0; status == PEMRIC_SUCCESS && poll < kErasePolls; ++poll) {
        const std::span<const std::uint8_t> data = mExchange.Data();
        if (!data.empty() && (data[0] & kEraseProgressMask) == kEraseCompleted) break;
        hw::SleepMicroseconds(kErasePollPauseUs);
        status = Exchange(ipmi::kClearSdrRepository, request, {}, kErasePollTimeoutMs,
                          PEMRIC_BMC_REQUEST_FAILED);
    }
    if (status != PEMRIC_SUCCESS) trace.Failure(L"Error Clearing SDR Repository");
    return status;
}

unsigned SdrReadSystem::SendUnderOneReservation(const CTrace& trace,
                                                std::span<const unsigned char> record) {
    std::array<std::uint8_t, 2> reservation{};
    if (const unsigned status = Reserve(trace, reservation)) return status;
    std::uint16_t recordId = 0;
    for (std::size_t offset = 0; offset < record.size(); offset += kPartLength) {
        const std::span<const unsigned char> part =
            record.subspan(offset, std::min<std::size_t>(kPartLength, record.size() - offset));
        const bool last = offset + part.size() == record.size();
        const std::array<std::uint8_t, 6> head = {reservation[0],
                                                  reservation[1],
                                                  static_cast<std::uint8_t>(recordId & 0xFF),
                                                  static_cast<std::uint8_t>(recordId >> 8),
                                                  static_cast<std::uint8_t>(offset),
                                                  last ? kAddLastPart : kAddInProgress};
        unsigned status =
            Exchange(ipmi::kPartialAddSdr, head, part, kTimeoutMs, PEMRIC_BMC_REQUEST_FAILED, true);
        if (status == kReservationWasCancelled) return status;
        if (status == PEMRIC_SUCCESS && mExchange.Data().size() < 2) {
            status = PEMRIC_BMC_REQUEST_FAILED;
        }
        if (status != PEMRIC_SUCCESS) {
            trace.Failure(status == PEMRIC_BMC_COMPLETION_CODE ? L"BMC Completion Code Error"
                                                               : L"Error Reading SDR Info");
            return status;
        }
        recordId = Word(mExchange.Data(), 0);
    }
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::SendRecordToBMC(std::span<const unsigned char> record) {
    CTrace trace(L"SdrReadSystem", L"SendRecordToBMC");
    return UnderFreshReservations(trace, PEMRIC_BMC_REQUEST_FAILED,
                                  [&] { return SendUnderOneReservation(trace, record); });
}

unsigned SdrReadSystem::AreaExchange(std::uint8_t cmd, std::span<const std::uint8_t> head,
                                     std::span<const std::uint8_t> payload) {
    if (!mExchange.Fill({.netFn = ipmi::kNetFnOem, .cmd = cmd}, head, payload)) {
        return PEMRIC_UPDATE_FAILED;
    }
    if (mExchange.Send(kTimeoutMs) != 0 || mExchange.CompletionCode() != ipmi::kCompletionOk) {
        return PEMRIC_UPDATE_FAILED;
    }
    return PEMRIC_SUCCESS;
}

unsigned SdrReadSystem::OpenArea(std::uint8_t area) {
    CTrace trace(L"SdrReadSystem", L"OpenArea");
    const std::array<std::uint8_t, 2> request = {area, 0x00};
    const unsigned status = AreaExchange(ipmi::kOpenArea, request);
    if (status != PEMRIC_SUCCESS) trace.Failure(L"Update Failed");
    return status;
}

unsigned SdrReadSystem::WriteToArea(std::uint8_t sequence, std::span<const unsigned char> part) {
    CTrace trace(L"SdrReadSystem", L"WriteToArea");
    const std::array<std::uint8_t, 1> head = {sequence};
    const unsigned status = AreaExchange(ipmi::kWriteToArea, head, part);
    if (status != PEMRIC_SUCCESS) trace.Failure(L"Update Failed");
    return status;
}

unsigned SdrReadSystem::CloseArea(std::uint32_t imageLength, std::uint16_t checksum) {
    CTrace trace(L"SdrReadSystem", L"CloseArea");
    const std::array<std::uint8_t, 6> request = {
        static_cast<std::uint8_t>(imageLength),       static_cast<std::uint8_t>(imageLength >> 8),
        static_cast<std::uint8_t>(imageLength >> 16), static_cast<std::uint8_t>(imageLength >> 24),
        static_cast<std::uint8_t>(checksum),          static_cast<std::uint8_t>(checksum >> 8)};
    const unsigned status = AreaExchange(ipmi::kCloseArea, request);
    if (status != PEMRIC_SUCCESS) trace.Failure(L"Update Failed");
    return status;
}

std::uint16_t ChecksumSDRs(std::span<const unsigned char> image) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        const unsigned high = i + 1 < image.size() ? image[i + 1] : 0;
        sum = static_cast<std::uint16_t>(sum + (image[i] | (high << 8)));
    }
    return static_cast<std::uint16_t>(-sum);
}

}  // namespace Pemric_Private
