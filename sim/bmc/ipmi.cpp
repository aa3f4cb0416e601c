#include "sim/bmc/ipmi.h"

#include <cstdio>
#include <regex>
#include <sstream>

namespace sim::ipmi {

namespace {

std::vector<std::uint8_t> ParseHexBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in(text);
    unsigned value = 0;
    while (in >> std::hex >> value) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

std::uint8_t HexByte(const std::string& text) {
    return static_cast<std::uint8_t>(std::stoul(text, nullptr, 16));
}

}  // namespace

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (const std::uint8_t byte : bytes) sum += byte;
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    char hex[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(hex, sizeof hex, text.empty() ? "%02X" : " %02X", byte);
        text += hex;
    }
    return text;
}

std::string FormatExchange(const Request& request, const Response& response) {
    char head[48];
    std::snprintf(head, sizeof head, "netfn=%02X lun=%u cmd=%02X data=[", request.netFn,
                  request.lun, request.cmd);
    char code[24];
    std::snprintf(code, sizeof code, "] -> cc=%02X data=[", response.completionCode);
    return head + HexBytes(request.data) + code + HexBytes(response.data) + "]";
}

std::optional<Exchange> LoggedExchange(const LogEntry& entry) {
    static const std::regex kForm(
        "netfn=([0-9A-F]{2}) lun=([0-3]) cmd=([0-9A-F]{2}) data=\\[([0-9A-F ]*)\\] -> "
        "cc=([0-9A-F]{2}) data=\\[([0-9A-F ]*)\\].*");
    std::smatch match;
    if (!std::regex_match(entry.detail, match, kForm)) return std::nullopt;
    return Exchange{HexByte(match[1]),       HexByte(match[2]), HexByte(match[3]),
                    ParseHexBytes(match[4]), HexByte(match[5]), ParseHexBytes(match[6])};
}

}  // namespace sim::ipmi
