// What a fuzz target's input makes of the answers of a device that cannot
// be trusted: a run of answers, each a length byte and that many bytes (an
// answer cut short by the end of the input keeps what there is). Targets
// read the bytes of one answer as that device's reply to one request.
#ifndef SRVFW_FUZZ_INPUT_ANSWERS_H
#define SRVFW_FUZZ_INPUT_ANSWERS_H

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace fuzz_input {

using Bytes = std::vector<std::uint8_t>;

inline std::deque<Bytes> AnswersOf(std::span<const std::uint8_t> input) {
    std::deque<Bytes> answers;
    std::size_t at = 0;
    while (at < input.size()) {
        const std::size_t length = std::min<std::size_t>(input[at], input.size() - at - 1);
        ++at;
        answers.emplace_back(input.begin() + static_cast<std::ptrdiff_t>(at),
                             input.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return answers;
}

// The next answer, or none once they are used up.
inline std::optional<Bytes> Next(std::deque<Bytes>& answers) {
    if (answers.empty()) return std::nullopt;
    Bytes answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

// Answers (completion code, then data) as KCS response frames of one
// command: the response's netFn/LUN and command byte in front. The message
// layer does not compare them with the request, but a BMC sends them, so
// that a frame of the input is the whole of what the BMC said.
inline std::deque<Bytes> KcsFramesOf(std::deque<Bytes> answers, std::uint8_t netFn,
                                     std::uint8_t cmd) {
    for (Bytes& answer : answers) {
        answer.insert(answer.begin(), {static_cast<std::uint8_t>((netFn | 1) << 2), cmd});
    }
    return answers;
}

}  // namespace fuzz_input

#endif
