// One request to a controller and its response, over a request record and
// a response record that the caller owns. A library fills its requests and
// reads its responses only through here, so that no request runs past its
// record and no caller reads past the data a response brought.
#ifndef SRVFW_BMC_BMC_EXCHANGE_H
#define SRVFW_BMC_BMC_EXCHANGE_H

#include <cstdint>
#include <span>

#include "bmc/message.h"

// Where a request goes and what it asks.
struct BmcCommand {
    std::uint8_t slaveAddress = kBmcSlaveAddress;
    std::uint8_t netFn = 0;  // unshifted
    std::uint8_t lun = 0;
    std::uint8_t cmd = 0;
};

// Fills `request` with the command and its data, `head` then `payload`.
// False, with the record unchanged, when the data do not fit it.
bool FillRequest(BMC_MESSAGE& request, const BmcCommand& command,
                 std::span<const std::uint8_t> head, std::span<const std::uint8_t> payload = {});

// The data a response brought after its completion code. Empty when its
// length claims more than the record holds: such a length comes from no
// transport, and nothing past the record may be read on its word.
std::span<const std::uint8_t> ResponseData(const BMC_MESSAGE& response);

class BmcExchange {
  public:
    BmcExchange(BMC_MESSAGE& request, BMC_MESSAGE& response)
        : mRequest(request), mResponse(response) {}

    bool Fill(const BmcCommand& command, std::span<const std::uint8_t> head,
              std::span<const std::uint8_t> payload = {}) {
        return FillRequest(mRequest, command, head, payload);
    }
    // The filled request through ProcessMessage: 0 when a response arrived.
    int Send(unsigned timeoutMs);
    // The filled request bridged to `target` on `channel` (ProcessSendMessage).
    int SendBridged(std::uint8_t channel, std::uint8_t target, unsigned timeoutMs);

    std::uint8_t CompletionCode() const { return mResponse.completionCode; }
    std::span<const std::uint8_t> Data() const { return ResponseData(mResponse); }

  private:
    BMC_MESSAGE& mRequest;
    BMC_MESSAGE& mResponse;
};

#endif
