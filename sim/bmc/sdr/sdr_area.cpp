// Our BMC firmware's area commands: a whole repository image written in
// sequenced pieces, taken only when its length and checksum hold, so that a
// repository is never left half written.
#include "sim/bmc/sdr/sdr_repository.h"

namespace sim {

namespace {

std::uint32_t Long(std::span<const std::uint8_t> data) {
    return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                      static_cast<std::uint32_t>(data[3]) << 24);
}

}  // namespace

ipmi::Response SdrRepository::OpenArea(const ipmi::Request& request) {
    Exchange exchange{{"open", 0, 0, {}}, ""};
    exchange.record.Hex8("area", request.data[0]);
    if (auto busy = Busy(exchange)) return *busy;
    if (request.data[0] != sdr::kSdrArea || request.data[1] != 0) {
        return Refuse(exchange, ipmi::kInvalidDataField, "no such area");
    }
    mArea = AreaImage{{}, mConfig.firstSequence};
    return Answer(exchange, ipmi::kOk);
}

ipmi::Response SdrRepository::WriteArea(const ipmi::Request& request) {
    const std::uint8_t sequence = request.data[0];
    const auto bytes = request.data.subspan(1);
    Exchange exchange{{"write", 0, static_cast<std::uint32_t>(bytes.size()), {}}, ""};
    exchange.record.Number("sequence", sequence);
    exchange.record.Number("bytes", bytes.size());
    if (auto busy = Busy(exchange)) return *busy;
    if (!mArea) return Refuse(exchange, ipmi::kNotSupportedInState, "no area open");
    if (bytes.empty()) return Refuse(exchange, ipmi::kInvalidLength, "no image bytes");
    if (sequence != mArea->nextSequence) {
        return Refuse(exchange, ipmi::kInvalidDataField,
                      "sequence " + std::to_string(sequence) + ", expected " +
                          std::to_string(mArea->nextSequence));
    }
    if (mArea->image.size() + bytes.size() > mConfig.capacity) {
        return Refuse(exchange, ipmi::kOutOfSpace, "image larger than the repository");
    }
    std::uint8_t lostCode = ipmi::kOk;
    if (PartLost(&lostCode)) {
        if (lostCode != ipmi::kOk) return Refuse(exchange, lostCode, "part refused");
        exchange.note = "part dropped";
    } else {
        mArea->image.insert(mArea->image.end(), bytes.begin(), bytes.end());
    }
    ++mArea->nextSequence;
    return Answer(exchange, ipmi::kOk);
}

ipmi::Response SdrRepository::CloseArea(const ipmi::Request& request) {
    const std::uint32_t length = Long(request.data);
    const auto checksum = static_cast<std::uint16_t>(request.data[4] | request.data[5] << 8);
    Exchange exchange{{"close", 0, length, {}}, ""};
    exchange.record.Number("length", length);
    exchange.record.Hex16("checksum", checksum);
    if (auto busy = Busy(exchange)) return *busy;
    if (!mArea) return Refuse(exchange, ipmi::kNotSupportedInState, "no area open");
    const std::vector<std::uint8_t> image = std::move(mArea->image);
    mArea.reset();
    if (length != image.size()) {
        return Refuse(exchange, ipmi::kInvalidDataField,
                      "length " + std::to_string(length) + ", " + std::to_string(image.size()) +
                          " bytes written");
    }
    const std::uint16_t expected = sdr::ImageChecksum(image);
    if (checksum != expected || mConfig.closeChecksum.Strike()) {
        char note[64];
        std::snprintf(note, sizeof note, "checksum %04Xh, the image needs %04Xh", checksum,
                      expected);
        return Refuse(exchange, ipmi::kInvalidDataField, note);
    }
    sdr::SplitImage split = sdr::SplitRecords(image);
    if (!split.error.empty()) return Refuse(exchange, ipmi::kInvalidDataField, split.error);
    if (auto refused = Replace(std::move(split.records))) {
        return Refuse(exchange, ipmi::kInvalidDataField, *refused);
    }
    return Answer(exchange, ipmi::kOk);
}

}  // namespace sim
