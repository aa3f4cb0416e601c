// What the simulated controllers' firmware was asked, in the request log
// (component "fw"), one entry for every firmware command and GetBufferSize
// a controller received:
//   operation  "enter", "exit", "segment", "write", "read", "checksum",
//              "buffer-size"
//   address    the controller's slave address
//   value      the completion code answered; 100h when it answered nothing
//   detail     "cc=00 at=NS" (the virtual time the request arrived), then
//              the command's own fields as KEY=VALUE, blank-separated:
//                enter     signature=VARNO
//                exit      wait=60 (seconds answered, Vitesse part),
//                          restart_ms=90000 (0 when it did not restart)
//                segment   segment=0001
//                write     segment=0001 offset=4000 address=14000
//                          length=16384
//                read      segment, offset, address, length
//                checksum  segment=0001 first=0000 last=FFFF sum=1A2B
//                          (the u16 answered)
//                buffer-size units=3C:3C
//              and "note=WHY" for an answer that is not plain success
//              ("not-in-transfer-mode", "protected", "beyond-memory",
//              "longer-than-buffer", "injected", "stopped", "bad-signature")
// Numbers in the detail are hexadecimal except length, wait, restart_ms
// and at.
#ifndef SRVFW_SIM_BMC_FW_FW_LOG_H
#define SRVFW_SIM_BMC_FW_FW_LOG_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/core/request_log.h"

namespace sim::fw {

inline constexpr const char* kLogComponent = "fw";
inline constexpr std::uint64_t kNoAnswer = 0x100;

struct LoggedCommand {
    std::string operation;
    std::uint8_t controller = 0;
    std::optional<std::uint8_t> completionCode;  // none: no answer
    std::uint64_t atNs = 0;
    std::map<std::string, std::string> fields;

    // The field's text, "" when it is not there.
    std::string Field(const std::string& key) const;
    // The field as a number (hexadecimal or decimal as the log writes it).
    std::uint64_t Number(const std::string& key) const;
};

// The firmware commands in the log, in order.
std::vector<LoggedCommand> FirmwareLog(const RequestLog& log);

// "0001" for a u16, two digits a byte.
std::string Hex16(std::uint32_t value);

}  // namespace sim::fw

#endif
