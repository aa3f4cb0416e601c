// SDR repository requests as a test writes them by hand, to the BMC's
// command table, and the repository's log entries.
#ifndef SRVFW_TESTS_SIM_SDR_REQUESTS_H
#define SRVFW_TESTS_SIM_SDR_REQUESTS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bmc/sdr/sdr_repository.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/settings_of.h"

namespace simtest {

inline sim::SdrRepository& Repository() {
    return *sim::TheMachine().Find<sim::SdrRepository>();
}

// A fresh machine with the settings; its repository. These tests number
// the area's writes from 0 unless they set the first sequence number.
inline sim::SdrRepository& ResetSdr(SettingPairs settings = {}) {
    sim::Settings all = SettingsOf(settings);
    if (!all.Has("sdr.area.first_sequence")) all.Set("sdr.area.first_sequence", "0");
    sim::ResetMachine(all);
    return Repository();
}

inline Bytes Word(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

inline std::uint16_t WordAt(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

inline sim::ipmi::Response SdrInfo() {
    return AskBmc(0x0A, 0x20);
}

// A new reservation; fails the test when there is none.
inline std::uint16_t Reserve() {
    const sim::ipmi::Response response = AskBmc(0x0A, 0x22);
    EXPECT_EQ(response.completionCode, 0x00);
    EXPECT_EQ(response.data.size(), 2u);
    return response.data.size() == 2 ? WordAt(response.data, 0) : 0;
}

inline sim::ipmi::Response GetSdr(std::uint16_t reservation, std::uint16_t id, std::uint8_t offset,
                                  std::uint8_t count) {
    Bytes request = Word(reservation);
    const Bytes record = Word(id);
    request.insert(request.end(), record.begin(), record.end());
    request.push_back(offset);
    request.push_back(count);
    return AskBmc(0x0A, 0x23, request);
}

inline sim::ipmi::Response PartialAdd(std::uint16_t reservation, std::uint16_t id,
                                      std::uint8_t offset, bool last, const Bytes& bytes) {
    Bytes request = Word(reservation);
    const Bytes record = Word(id);
    request.insert(request.end(), record.begin(), record.end());
    request.push_back(offset);
    request.push_back(last ? 0x01 : 0x00);
    request.insert(request.end(), bytes.begin(), bytes.end());
    return AskBmc(0x0A, 0x25, request);
}

inline sim::ipmi::Response ClearSdr(std::uint16_t reservation, std::uint8_t action) {
    Bytes request = Word(reservation);
    request.insert(request.end(), {'C', 'L', 'R', action});
    return AskBmc(0x0A, 0x27, request);
}

// The record as a client reads it: header at offset 0, then the rest in
// pieces of at most `piece` bytes on one reservation. Empty on any failure.
inline Bytes ReadRecord(std::uint16_t id, std::uint8_t piece, std::uint16_t* next = nullptr) {
    const std::uint16_t reservation = Reserve();
    const sim::ipmi::Response header = GetSdr(reservation, id, 0, 5);
    if (header.completionCode != 0x00 || header.data.size() != 7) return {};
    if (next != nullptr) *next = WordAt(header.data, 0);
    Bytes record(header.data.begin() + 2, header.data.end());
    const std::size_t length = 5 + record[4];
    while (record.size() < length) {
        const auto count =
            static_cast<std::uint8_t>(std::min<std::size_t>(piece, length - record.size()));
        const sim::ipmi::Response part =
            GetSdr(reservation, id, static_cast<std::uint8_t>(record.size()), count);
        if (part.completionCode != 0x00 || part.data.size() != 2u + count) return {};
        record.insert(record.end(), part.data.begin() + 2, part.data.end());
    }
    return record;
}

// Adds the record in parts of `piece` bytes; the ID the BMC answered, 0 on
// a refusal.
inline std::uint16_t AddRecord(const Bytes& record, std::size_t piece = 16) {
    const std::uint16_t reservation = Reserve();
    std::uint16_t id = 0;
    for (std::size_t at = 0; at < record.size(); at += piece) {
        const std::size_t end = std::min(record.size(), at + piece);
        const sim::ipmi::Response answer =
            PartialAdd(reservation, id, static_cast<std::uint8_t>(at), end == record.size(),
                       Bytes(record.begin() + at, record.begin() + end));
        if (answer.completionCode != 0x00 || answer.data.size() != 2) return 0;
        id = WordAt(answer.data, 0);
    }
    return id;
}

inline sim::ipmi::Response OpenArea(std::uint8_t area = 0x03) {
    return AskBmc(0x30, 0xA1, {area, 0x00});
}

inline sim::ipmi::Response WriteArea(std::uint8_t sequence, const Bytes& bytes) {
    Bytes request = {sequence};
    request.insert(request.end(), bytes.begin(), bytes.end());
    return AskBmc(0x30, 0xA2, request);
}

inline sim::ipmi::Response CloseArea(std::uint32_t length, std::uint16_t checksum) {
    Bytes request = {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                     static_cast<std::uint8_t>(length >> 16),
                     static_cast<std::uint8_t>(length >> 24)};
    const Bytes sum = Word(checksum);
    request.insert(request.end(), sum.begin(), sum.end());
    return AskBmc(0x30, 0xA3, request);
}

// Writes the image in sequenced pieces of 16 bytes from sequence 0; the
// code of the first write refused, else 00h.
inline std::uint8_t WriteImage(const Bytes& image) {
    std::uint8_t sequence = 0;
    for (std::size_t at = 0; at < image.size(); at += 16) {
        const std::size_t end = std::min(image.size(), at + 16);
        const sim::ipmi::Response answer =
            WriteArea(sequence++, Bytes(image.begin() + at, image.begin() + end));
        if (answer.completionCode != 0x00) return answer.completionCode;
    }
    return 0x00;
}

inline std::vector<sim::sdr::LoggedRequest> SdrRequests(const std::string& operation = "") {
    return sim::sdr::LoggedRequests(sim::TheMachine().Log(), operation);
}

}  // namespace simtest

#endif
