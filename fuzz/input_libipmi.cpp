// A session library that answers as a fuzz target's input says, loaded in
// place of libipmi.so: sessions always open, and each request gets the
// next answer, whatever it asked. An answer is a length byte and that many
// bytes (fuzz/input_answers.h):
//   byte 0     the call's result (0: the request got a response)
//   byte 1     the length the library reports: bits 2:0 pick the bytes
//              given, 0, -1, one past them, 65535, 65536 or INT_MAX
//   the rest   the response as libipmi hands it over: completion code,
//              then data (at most the 65535 bytes the caller's buffer holds)
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>

#include "fuzz/input_answers.h"

// The caller's session record, which this library never looks into; named
// as the caller names it, so that its calls match these functions' types.
struct LIBIPMI_SESSION;

namespace {

constexpr int kCallerBuffer = 65535;
std::deque<fuzz_input::Bytes> gAnswers;
unsigned gSessionsOpened = 0;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void FuzzLibipmiAnswers(const std::uint8_t* data,
                                                               std::size_t size) {
    gAnswers = fuzz_input::AnswersOf({data, size});
}

__attribute__((visibility("default"))) unsigned FuzzLibipmiSessionsOpened() {
    return gSessionsOpened;
}

__attribute__((visibility("default"))) std::uint16_t LIBIPMI_Create_IPMI20_Session(
    LIBIPMI_SESSION*, const char*, std::uint16_t, const char*, const char*, std::uint8_t,
    std::uint8_t, std::uint8_t, std::uint8_t*, std::uint8_t, std::uint8_t, std::uint8_t,
    std::uint8_t, std::uint8_t, std::uint32_t) {
    ++gSessionsOpened;
    return 0;
}

__attribute__((visibility("default"))) std::uint16_t LIBIPMI_CloseSession(LIBIPMI_SESSION*) {
    return 0;
}

__attribute__((visibility("default"))) std::uint16_t LIBIPMI_Send_RAW_IPMI2_0_Command(
    LIBIPMI_SESSION*, std::uint8_t, std::uint8_t, std::uint8_t, const std::uint8_t*, int,
    std::uint8_t* response, int* responseLength, std::uint32_t) {
    const std::optional<fuzz_input::Bytes> answer = fuzz_input::Next(gAnswers);
    if (!answer || answer->empty()) return 5;  // no response
    if (answer->front() != 0) return answer->front();
    const std::size_t given = answer->size() > 2 ? answer->size() - 2 : 0;
    const std::size_t copied = std::min<std::size_t>(given, kCallerBuffer);
    if (copied > 0) std::memcpy(response, answer->data() + 2, copied);
    const int lengths[] = {static_cast<int>(copied),
                           0,
                           -1,
                           static_cast<int>(copied) + 1,
                           kCallerBuffer,
                           65536,
                           INT_MAX,
                           static_cast<int>(copied)};
    *responseLength = lengths[answer->size() > 1 ? (*answer)[1] & 7 : 0];
    return 0;
}
}
