// The SDR repository commands of the storage network function, checked in
// the order a BMC's firmware checks them: the busy state, the reservation,
// the fields, then the record.
#include <algorithm>

#include "sim/bmc/sdr/sdr_repository.h"

namespace sim {

namespace {

constexpr std::uint8_t kOperationSupport = 0x26;  // non-modal; Partial Add; Reserve
constexpr std::uint8_t kWholeRecord = 0xFF;
constexpr std::uint8_t kProgressMask = 0x0F;
constexpr std::uint8_t kInProgress = 0x00;
constexpr std::uint8_t kLastPart = 0x01;
constexpr std::uint8_t kLengthMismatch = 0x80;  // Partial Add: the record is not the length it says
constexpr std::uint8_t kStartErase = 0xAA;
constexpr std::uint8_t kEraseStatus = 0x00;
constexpr std::uint8_t kErasing = 0x00;
constexpr std::uint8_t kEraseCompleted = 0x01;
constexpr std::uint8_t kClearLetters[] = {'C', 'L', 'R'};
constexpr std::size_t kAddHeader = 6;

std::uint16_t Word(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

void PutWord(std::vector<std::uint8_t>& data, std::uint32_t value) {
    data.push_back(static_cast<std::uint8_t>(value));
    data.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutTime(std::vector<std::uint8_t>& data, std::uint32_t value) {
    PutWord(data, value);
    PutWord(data, value >> 16);
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04Xh", value);
    return text;
}

}  // namespace

ipmi::Response SdrRepository::Info(const ipmi::Request&) {
    Exchange exchange{{"info", 0, 0, {}}, ""};
    if (auto busy = Busy(exchange)) return *busy;
    const std::size_t free =
        mConfig.capacity - std::min<std::size_t>(UsedBytes(), mConfig.capacity);
    std::vector<std::uint8_t> data = {sdr::kSdrVersion};
    PutWord(data, static_cast<std::uint32_t>(mRecords.size()));
    PutWord(data, static_cast<std::uint32_t>(free));
    PutTime(data, mAdditionTime);
    PutTime(data, mEraseTime);
    data.push_back(kOperationSupport);
    return Answer(exchange, ipmi::kOk, std::move(data));
}

ipmi::Response SdrRepository::Reserve(const ipmi::Request&) {
    Exchange exchange{{"reserve", 0, 0, {}}, ""};
    if (auto busy = Busy(exchange)) return *busy;
    mLastReservation = static_cast<std::uint16_t>(mLastReservation + 1);
    if (mLastReservation == 0) mLastReservation = 1;  // 0000h means "none"
    mReservation = mLastReservation;
    mGetsOnReservation = 0;
    mErasedWith.reset();
    exchange.record.Hex16("reservation", mLastReservation);
    std::vector<std::uint8_t> data;
    PutWord(data, mLastReservation);
    return Answer(exchange, ipmi::kOk, std::move(data));
}

ipmi::Response SdrRepository::GetSdr(const ipmi::Request& request) {
    const std::uint16_t reservation = Word(request.data, 0);
    const std::uint16_t id = Word(request.data, 2);
    const std::uint8_t offset = request.data[4];
    const std::uint8_t count = request.data[5];
    Exchange exchange{{"get", id, count, {}}, ""};
    exchange.record.Hex16("reservation", reservation);
    exchange.record.Hex16("record", id);
    exchange.record.Number("offset", offset);
    exchange.record.Number("count", count);
    if (auto busy = Busy(exchange)) return *busy;
    if (offset != 0 && mReservation != reservation) {
        return Refuse(exchange, ipmi::kInvalidReservation,
                      mReservation ? "not the current reservation" : "reservation cancelled");
    }
    const auto index = IndexOf(id);
    if (!index) return Refuse(exchange, ipmi::kNotPresent, "no such record");
    sdr::Record record = mRecords[*index];
    if (mConfig.lyingLength && mConfig.lyingLength->recordId == sdr::RecordId(record)) {
        record[sdr::kLengthByte] = mConfig.lyingLength->lengthByte;
    }
    if (offset >= record.size()) return Refuse(exchange, ipmi::kOutOfRange, "offset past the end");
    const std::size_t asked = count == kWholeRecord ? record.size() - offset : count;
    if (asked > mConfig.maxRead) {
        return Refuse(exchange, ipmi::kCannotReturnBytes,
                      "read limit " + std::to_string(mConfig.maxRead) + " bytes");
    }
    std::uint16_t next =
        *index + 1 < mRecords.size() ? sdr::RecordId(mRecords[*index + 1]) : sdr::kLastRecord;
    if (mConfig.loopAt == sdr::RecordId(record)) {
        next = sdr::RecordId(mRecords.front());
        exchange.note = "next record loops back";
    }
    exchange.record.Hex16("next", next);
    const std::size_t returned = std::min(asked, record.size() - offset);
    if (returned < asked) exchange.note = std::to_string(returned) + " of " + std::to_string(asked);
    std::vector<std::uint8_t> data;
    PutWord(data, next);
    data.insert(data.end(), record.begin() + offset, record.begin() + offset + returned);
    ipmi::Response response = Answer(exchange, ipmi::kOk, std::move(data));
    ++mGetsOnReservation;
    if (mReservation && mConfig.cancelAfter.gets != 0 &&
        mGetsOnReservation >= mConfig.cancelAfter.gets && mConfig.cancelAfter.times.Strike()) {
        mReservation.reset();
    }
    return response;
}

ipmi::Response SdrRepository::PartialAdd(const ipmi::Request& request) {
    const std::uint16_t reservation = Word(request.data, 0);
    const std::uint16_t id = Word(request.data, 2);
    const std::uint8_t offset = request.data[4];
    const std::uint8_t progress = request.data[5];
    const auto bytes = request.data.subspan(kAddHeader);
    Exchange exchange{{"add", id, static_cast<std::uint32_t>(bytes.size()), {}}, ""};
    exchange.record.Hex16("reservation", reservation);
    exchange.record.Hex16("record", id);
    exchange.record.Number("offset", offset);
    exchange.record.Hex8("flag", progress);
    if (auto busy = Busy(exchange)) return *busy;
    if (mReservation != reservation) {
        return Refuse(exchange, ipmi::kInvalidReservation,
                      mReservation ? "not the current reservation" : "reservation cancelled");
    }
    const std::uint8_t part = progress & kProgressMask;
    if (part != kInProgress && part != kLastPart) {
        return Refuse(exchange, ipmi::kInvalidDataField, "progress " + std::to_string(part));
    }
    if (offset == 0 || !mPendingAdd) {
        // A first part starts a record afresh, whatever was on its way.
        mPendingAdd.reset();
        if (id != 0 || offset != 0) {
            return Refuse(
                exchange, ipmi::kInvalidDataField,
                "a first part names record " + Hex4(id) + " at offset " + std::to_string(offset));
        }
        if (bytes.size() < sdr::kHeaderBytes) {
            return Refuse(exchange, ipmi::kInvalidDataField, "a first part without the header");
        }
    } else if (id != mPendingAdd->id || offset != mPendingAdd->bytes.size()) {
        return Refuse(exchange, ipmi::kInvalidDataField,
                      "record " + Hex4(id) + " offset " + std::to_string(offset) + ", expected " +
                          Hex4(mPendingAdd->id) + " offset " +
                          std::to_string(mPendingAdd->bytes.size()));
    }
    if (UsedBytes() + offset + bytes.size() > mConfig.capacity) {
        mPendingAdd.reset();
        return Refuse(exchange, ipmi::kOutOfSpace, "repository full");
    }
    std::uint8_t lostCode = ipmi::kOk;
    if (PartLost(&lostCode)) {
        if (lostCode != ipmi::kOk) return Refuse(exchange, lostCode, "part refused");
        exchange.note = "part dropped";
    }
    if (!mPendingAdd) mPendingAdd = PendingAdd{NextFreeId(), {}};
    if (exchange.note.empty()) {
        mPendingAdd->bytes.insert(mPendingAdd->bytes.end(), bytes.begin(), bytes.end());
    }
    const std::uint16_t assigned = mPendingAdd->id;
    exchange.record.Hex16("id", assigned);
    if (part == kLastPart) {
        sdr::Record record = std::move(mPendingAdd->bytes);
        mPendingAdd.reset();
        if (record.size() < sdr::kHeaderBytes ||
            record.size() != sdr::kHeaderBytes + record[sdr::kLengthByte]) {
            return Refuse(exchange, kLengthMismatch,
                          std::to_string(record.size()) + " bytes, not what the header says");
        }
        sdr::SetRecordId(record, assigned);
        mRecords.push_back(std::move(record));
        Changed();
    }
    std::vector<std::uint8_t> data;
    PutWord(data, assigned);
    return Answer(exchange, ipmi::kOk, std::move(data));
}

ipmi::Response SdrRepository::Clear(const ipmi::Request& request) {
    const std::uint16_t reservation = Word(request.data, 0);
    const std::uint8_t action = request.data[5];
    Exchange exchange{{"clear", 0, 0, {}}, ""};
    exchange.record.Hex16("reservation", reservation);
    exchange.record.Hex8("flag", action);
    if (auto busy = Busy(exchange)) return *busy;
    const bool erasesReservation = mErase && mErase->reservation == reservation;
    const bool statusAfterErase = action == kEraseStatus && mErasedWith == reservation;
    if (mReservation != reservation && !erasesReservation && !statusAfterErase) {
        return Refuse(exchange, ipmi::kInvalidReservation,
                      mReservation ? "not the current reservation" : "reservation cancelled");
    }
    if (!std::equal(std::begin(kClearLetters), std::end(kClearLetters), request.data.begin() + 2)) {
        return Refuse(exchange, ipmi::kInvalidDataField, "not \"CLR\"");
    }
    if (action != kStartErase && action != kEraseStatus) {
        return Refuse(exchange, ipmi::kInvalidDataField, "action " + Hex4(action));
    }
    if (action == kStartErase && !mErase) {
        mErase = Erase{mMachine.Clock().NowNs() + mConfig.eraseNs, reservation};
        SettleErase();
    }
    const std::uint8_t progress = mErase ? kErasing : kEraseCompleted;
    exchange.record.Hex8("progress", progress);
    return Answer(exchange, ipmi::kOk, {progress});
}

}  // namespace sim
