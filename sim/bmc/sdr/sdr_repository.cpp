// The repository's records, its state in the state directory, and what
// every command shares: registration, answers and their log entries, the
// busy fault, reservations cancelled by changes.
#include "sim/bmc/sdr/sdr_repository.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "sim/bmc/sdr/sdr_record_builder.h"

namespace sim {

namespace sdr {

std::uint16_t ImageChecksum(std::span<const std::uint8_t> image) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        const std::uint32_t high = i + 1 < image.size() ? image[i + 1] : 0;
        sum += image[i] | high << 8;
    }
    return static_cast<std::uint16_t>(0x10000 - (sum & 0xFFFF));
}

}  // namespace sdr

namespace {

constexpr std::uint64_t kNsPerSecond = 1000000000;

std::filesystem::path TimesFile(const std::filesystem::path& records) {
    return records.string() + ".times";
}

}  // namespace

SdrRepository::SdrRepository(Machine& machine, Bmc& bmc)
    : mMachine(machine), mConfig(sdr::RepositorySettings::FromSettings(machine.Config())) {
    if (!mConfig.startsEmpty) {
        mRecords = sdr::DefaultSet();
        mAdditionTime = Now();
    }
    Register(bmc.Commands());
}

void SdrRepository::Register(ipmi::CommandTable& commands) {
    using ipmi::RequestLength;
    const auto refusal = [this](const char* operation) {
        return [this, operation](const ipmi::Request&, std::uint8_t code) {
            Answer({{operation, 0, 0, {}}, ""}, code);
        };
    };
    const auto serve = [&](std::uint8_t netFn, std::uint8_t cmd, RequestLength length,
                           const char* operation,
                           ipmi::Response (SdrRepository::*handler)(const ipmi::Request&)) {
        commands.Register(
            netFn, cmd, {length, ipmi::kLunZero},
            [this, handler](const ipmi::Request& request) { return (this->*handler)(request); },
            refusal(operation));
    };
    constexpr std::size_t kGetBytes = 6;    // reservation, record ID, offset, count
    constexpr std::size_t kAddHeader = 6;   // reservation, record ID, offset, progress
    constexpr std::size_t kClearBytes = 6;  // reservation, "CLR", action
    constexpr std::size_t kCloseBytes = 6;  // length, checksum
    serve(ipmi::kNetFnStorage, sdr::kGetSdrRepositoryInfo, RequestLength::Exactly(0), "info",
          &SdrRepository::Info);
    serve(ipmi::kNetFnStorage, sdr::kReserveSdrRepository, RequestLength::Exactly(0), "reserve",
          &SdrRepository::Reserve);
    serve(ipmi::kNetFnStorage, sdr::kGetSdr, RequestLength::Exactly(kGetBytes), "get",
          &SdrRepository::GetSdr);
    serve(ipmi::kNetFnStorage, sdr::kPartialAddSdr, RequestLength::AtLeast(kAddHeader), "add",
          &SdrRepository::PartialAdd);
    serve(ipmi::kNetFnStorage, sdr::kClearSdrRepository, RequestLength::Exactly(kClearBytes),
          "clear", &SdrRepository::Clear);
    serve(sdr::kNetFnFirmwareArea, sdr::kOpenArea, RequestLength::Exactly(2), "open",
          &SdrRepository::OpenArea);
    serve(sdr::kNetFnFirmwareArea, sdr::kWriteToArea, {1, 1 + sdr::kAreaWriteBytes}, "write",
          &SdrRepository::WriteArea);
    serve(sdr::kNetFnFirmwareArea, sdr::kCloseArea, RequestLength::Exactly(kCloseBytes), "close",
          &SdrRepository::CloseArea);
}

ipmi::Response SdrRepository::Answer(const Exchange& exchange, std::uint8_t completionCode,
                                     std::vector<std::uint8_t> data) {
    sdr::LogRequest(mMachine.Log(), exchange.record, completionCode, mMachine.Clock().NowNs(),
                    exchange.note);
    return {completionCode, std::move(data)};
}

ipmi::Response SdrRepository::Refuse(Exchange& exchange, std::uint8_t completionCode,
                                     std::string note) {
    exchange.note = std::move(note);
    return Answer(exchange, completionCode);
}

std::optional<ipmi::Response> SdrRepository::Busy(Exchange& exchange) {
    SettleErase();
    if (!mConfig.busy.times.Strike()) return std::nullopt;
    return Refuse(exchange, static_cast<std::uint8_t>(mConfig.busy.code), "busy");
}

std::uint32_t SdrRepository::Now() const {
    return static_cast<std::uint32_t>(VirtualClock::kEpochSeconds +
                                      mMachine.Clock().NowNs() / kNsPerSecond);
}

std::optional<std::size_t> SdrRepository::IndexOf(std::uint16_t id) const {
    if (mRecords.empty()) return std::nullopt;
    if (id == sdr::kFirstRecord) return 0;
    if (id == sdr::kLastRecord) return mRecords.size() - 1;
    for (std::size_t i = 0; i < mRecords.size(); ++i) {
        if (sdr::RecordId(mRecords[i]) == id) return i;
    }
    return std::nullopt;
}

std::uint16_t SdrRepository::NextFreeId() const {
    std::uint16_t highest = 0;
    for (const sdr::Record& record : mRecords) highest = std::max(highest, sdr::RecordId(record));
    // IDs run out long before a repository of 8 KB does; past FFFEh the
    // first free one is taken.
    if (highest < sdr::kLastRecord - 1) return static_cast<std::uint16_t>(highest + 1);
    for (std::uint16_t id = 1; id < sdr::kLastRecord; ++id) {
        if (!IndexOf(id)) return id;
    }
    return 0;
}

std::size_t SdrRepository::UsedBytes() const {
    std::size_t used = 0;
    for (const sdr::Record& record : mRecords) used += record.size();
    return used;
}

void SdrRepository::Changed() {
    mReservation.reset();
    mAdditionTime = Now();
}

void SdrRepository::SettleErase() {
    if (!mErase || mConfig.eraseNeverCompletes || mMachine.Clock().NowNs() < mErase->doneAtNs) {
        return;
    }
    mRecords.clear();
    mPendingAdd.reset();
    mEraseTime = Now();
    if (mReservation == mErase->reservation) mReservation.reset();
    mErasedWith = mErase->reservation;
    mErase.reset();
}

bool SdrRepository::PartLost(std::uint8_t* code) {
    ++mParts;
    if (mConfig.refusedPart == mParts) {
        *code = mConfig.refusedPartCode;
        return true;
    }
    *code = ipmi::kOk;
    return mConfig.droppedParts.count(mParts) != 0;
}

std::optional<std::string> SdrRepository::Replace(std::vector<sdr::Record> records) {
    std::set<std::uint16_t> ids;
    std::size_t bytes = 0;
    for (const sdr::Record& record : records) {
        const std::uint16_t id = sdr::RecordId(record);
        if (id == sdr::kFirstRecord || id == sdr::kLastRecord) {
            return "record ID " + std::to_string(id) + " cannot be read back by its ID";
        }
        if (!ids.insert(id).second) return "record ID " + std::to_string(id) + " twice";
        bytes += record.size();
    }
    if (bytes > mConfig.capacity) {
        return std::to_string(bytes) + " bytes of records, more than the capacity of " +
               std::to_string(mConfig.capacity);
    }
    mRecords = std::move(records);
    mPendingAdd.reset();
    Changed();
    return std::nullopt;
}

void SdrRepository::LoadState(const std::filesystem::path& dir) {
    const std::filesystem::path file = dir / mConfig.file;
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    sdr::SplitImage split = sdr::SplitRecords(image);
    // A file cut short keeps its whole records, as a BMC's flash keeps the
    // records written before it lost power.
    mRecords = std::move(split.records);
    std::ifstream times(TimesFile(file));
    times >> mAdditionTime >> mEraseTime;
}

void SdrRepository::SaveState(const std::filesystem::path& dir) const {
    const std::filesystem::path file = dir / mConfig.file;
    const std::vector<std::uint8_t> image = sdr::JoinRecords(mRecords);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    std::ofstream times(TimesFile(file), std::ios::trunc);
    times << mAdditionTime << " " << mEraseTime << "\n";
}

void SdrRepository::Describe(std::ostream& out) const {
    out << "    SDR repository: " << mRecords.size() << " records, " << UsedBytes() << " of "
        << mConfig.capacity << " bytes (" << mConfig.file << "), reads up to " << mConfig.maxRead
        << " bytes\n";
    for (const sdr::Record& record : mRecords) {
        char line[96];
        std::snprintf(line, sizeof line, "      %04Xh %s, %zu bytes\n", sdr::RecordId(record),
                      sdr::TypeName(sdr::RecordType(record)).c_str(), record.size());
        out << line;
    }
    if (mConfig.busy.times.Armed()) {
        char line[64];
        std::snprintf(line, sizeof line, "      fault: commands answer %02Xh (busy), ",
                      static_cast<unsigned>(mConfig.busy.code));
        out << line << mConfig.busy.times.Describe() << "\n";
    }
    if (mConfig.eraseNeverCompletes) out << "      fault: an erase never completes\n";
    if (mConfig.cancelAfter.gets != 0) {
        out << "      fault: the reservation is cancelled after " << mConfig.cancelAfter.gets
            << " Get SDRs, " << mConfig.cancelAfter.times.Describe() << "\n";
    }
    for (const std::uint64_t part : mConfig.droppedParts) {
        out << "      fault: part " << part << " is dropped\n";
    }
    if (mConfig.refusedPart) out << "      fault: part " << *mConfig.refusedPart << " is refused\n";
    if (mConfig.closeChecksum.Armed()) {
        out << "      fault: close area refuses the checksum, " << mConfig.closeChecksum.Describe()
            << "\n";
    }
    if (mConfig.loopAt) out << "      fault: the record chain loops at " << *mConfig.loopAt << "\n";
    if (mConfig.lyingLength) {
        out << "      fault: record " << mConfig.lyingLength->recordId << " shows length byte "
            << unsigned{mConfig.lyingLength->lengthByte} << "\n";
    }
}

}  // namespace sim
