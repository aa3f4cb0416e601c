// The BMC's type and IPMI version, told by Get Device ID.
#include <memory>

#include "bmc/device_id.h"
#include "bmc/ipmi_numbers.h"
#include "bmc/message_state.h"

int g_bmcType = BMC_TYPE_NONE;
int g_ipmiVersion = 0;

namespace {

constexpr unsigned kTimeoutMs = 5000;

constexpr std::size_t kProductIdByte = 9;  // little-endian, two bytes
// Device ID through product ID are mandatory.
constexpr std::uint32_t kDeviceIdMinimumLength = 11;

constexpr std::uint8_t kIpmi15 = 0x51;
constexpr std::uint8_t kIpmi20 = 0x02;

// The response record is 64 KiB, too much for a host thread's stack.
struct DeviceId {
    int status;
    std::unique_ptr<BMC_MESSAGE> response;
    // An error completion code or a short answer carries no device ID.
    bool Valid() const {
        return status == 0 && response->completionCode == 0 &&
               response->dataLength >= kDeviceIdMinimumLength;
    }
};

DeviceId AskDeviceId() {
    const auto request = std::make_unique<BMC_MESSAGE>();
    DeviceId answer{0, std::make_unique<BMC_MESSAGE>()};
    BmcExchange exchange(*request, *answer.response);
    answer.status = RequestDeviceId(exchange);
    return answer;
}

int TypeOf(const DeviceId& answer) {
    if (!answer.Valid()) return BMC_TYPE_NONE;
    const std::uint8_t* data = answer.response->data;
    const unsigned productId = data[kProductIdByte] | data[kProductIdByte + 1] << 8;
    return productId == 0x4311 || productId == 0x4312 || productId == 0x4315 ? BMC_TYPE_PRODUCT_43XX
                                                                             : BMC_TYPE_STANDARD;
}

}  // namespace

int RequestDeviceId(BmcExchange& exchange) {
    exchange.Fill({.netFn = ipmi::kNetFnApp, .cmd = ipmi::kGetDeviceId}, {});
    return exchange.Send(kTimeoutMs);
}

int GetBmcType(int* type) {
    const DeviceId answer = AskDeviceId();
    if (type != nullptr) *type = TypeOf(answer);
    return answer.status;
}

int GetBmcTypeVersion(int* type, int* ipmiVersion) {
    if (g_bmcType == BMC_TYPE_NONE) {
        g_bmcType = TypeOf(AskDeviceId());
        if (g_bmcType == BMC_TYPE_NONE) return BMC_TYPE_UNKNOWN;
        const DeviceId answer = AskDeviceId();
        if (!answer.Valid()) {
            g_bmcType = BMC_TYPE_NONE;
            return answer.status != 0 ? answer.status : BMC_TYPE_UNKNOWN;
        }
        const std::uint8_t version = answer.response->data[kDeviceIdIpmiVersionByte];
        if (version == kIpmi15) g_ipmiVersion = 1;
        if (version == kIpmi20) g_ipmiVersion = 2;
    }
    if (type != nullptr) *type = g_bmcType;
    if (ipmiVersion != nullptr) *ipmiVersion = g_ipmiVersion;
    return 0;
}
