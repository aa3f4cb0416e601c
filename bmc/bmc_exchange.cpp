#include "bmc/bmc_exchange.h"

#include <algorithm>

bool FillRequest(BMC_MESSAGE& request, const BmcCommand& command,
                 std::span<const std::uint8_t> head, std::span<const std::uint8_t> payload) {
    if (head.size() > kBmcMessageDataSize || payload.size() > kBmcMessageDataSize - head.size()) {
        return false;
    }
    request.slaveAddress = command.slaveAddress;
    request.netFn = command.netFn;
    request.lun = command.lun;
    request.cmd = command.cmd;
    std::ranges::copy(payload, std::ranges::copy(head, request.data).out);
    request.dataLength = static_cast<std::uint32_t>(head.size() + payload.size());
    return true;
}

std::span<const std::uint8_t> ResponseData(const BMC_MESSAGE& response) {
    if (response.dataLength > kBmcMessageDataSize) return {};
    return {response.data, response.dataLength};
}

int BmcExchange::Send(unsigned timeoutMs) {
    return ProcessMessage(&mRequest, &mResponse, timeoutMs);
}

int BmcExchange::SendBridged(std::uint8_t channel, std::uint8_t target, unsigned timeoutMs) {
    return ProcessSendMessage(&mRequest, &mResponse, channel, target, timeoutMs);
}
