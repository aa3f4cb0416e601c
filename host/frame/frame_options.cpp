#include "host/frame/frame_options.h"

#include <cctype>
#include <climits>

#include "host/frame/failure.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

constexpr unsigned kMaxDebugLevel = 3;

std::optional<std::filesystem::path> TakePath(Arguments& arguments, std::string_view name) {
    const std::optional<std::string> value = arguments.TakeValue(name);
    if (!value) return std::nullopt;
    if (value->empty()) throw Failure(ExitCode::kUsage, std::string(name) + " needs a folder");
    return std::filesystem::absolute(*value);
}

bool IsTwoLetters(std::string_view text) {
    return text.size() == 2 && std::isalpha(static_cast<unsigned char>(text[0])) &&
           std::isalpha(static_cast<unsigned char>(text[1]));
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

FrameOptions TakeFrameOptions(Arguments& arguments) {
    FrameOptions options;
    options.help = arguments.TakeFlag("--help") || arguments.TakeFlag("-h");
    options.json = arguments.TakeFlag("--json");
    options.simDir = TakePath(arguments, "--sim");
    options.libDir = TakePath(arguments, "--lib-dir");
    options.resDir = TakePath(arguments, "--res-dir");
    if (const auto platform = arguments.TakeValue("--platform")) {
        const auto number = ParseNumber(*platform, INT_MAX);
        if (!number) throw Failure(ExitCode::kUsage, "--platform takes a number, not " + *platform);
        options.platform = static_cast<int>(*number);
    }
    if (const auto level = arguments.TakeValue("--debug")) {
        const auto number = ParseNumber(*level, kMaxDebugLevel);
        if (!number) throw Failure(ExitCode::kUsage, "--debug takes a level from 0 to 3");
        options.debugLevel = *number;
    }
    if (const auto way = arguments.TakeValue("--interface")) {
        if (*way == "auto") {
            options.bmcInterface = BmcInterface::kAuto;
        } else if (*way == "driver") {
            options.bmcInterface = BmcInterface::kDriver;
        } else if (*way == "kcs") {
            options.bmcInterface = BmcInterface::kPorts;
        } else {
            throw Failure(ExitCode::kUsage, "--interface takes auto, driver or kcs, not " + *way);
        }
    }
    if (const auto locale = arguments.TakeValue("--locale")) {
        // "en-us" or "en_US": the language and the country of a string file.
        const std::string_view text = *locale;
        if (text.size() != 5 || (text[2] != '-' && text[2] != '_') ||
            !IsTwoLetters(text.substr(0, 2)) || !IsTwoLetters(text.substr(3))) {
            throw Failure(ExitCode::kUsage, "--locale takes a language and a country, e.g. en-us");
        }
        options.language = Lower(text.substr(0, 2));
        options.country = Lower(text.substr(3));
    }
    return options;
}

}  // namespace srvfw
