// A failure that ends the command: the words for the user, the exit code,
// and the library's status code when a library call is the cause.
#ifndef SRVFW_HOST_FRAME_FAILURE_H
#define SRVFW_HOST_FRAME_FAILURE_H

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/frame/exit_codes.h"

namespace srvfw {

class Failure : public std::runtime_error {
  public:
    Failure(ExitCode code, const std::string& message,
            std::optional<std::uint32_t> status = std::nullopt)
        : std::runtime_error(message), mCode(code), mStatus(status) {}

    ExitCode Code() const { return mCode; }
    std::optional<std::uint32_t> Status() const { return mStatus; }

    // The same failure with more to say: `sentences` (whole sentences)
    // after the message, which is ended with a full stop first.
    Failure With(const std::string& sentences) const {
        std::string message = what();
        if (!message.empty() && message.back() != '.') message += '.';
        return Failure(mCode, message + " " + sentences, mStatus);
    }

  private:
    ExitCode mCode;
    std::optional<std::uint32_t> mStatus;
};

}  // namespace srvfw

#endif
