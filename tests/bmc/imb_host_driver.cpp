#include "tests/bmc/imb_host_driver.h"

#include <algorithm>

#include "sim/bmc/bmc.h"
#include "sim/core/machine.h"

namespace bmc_test {

ImbHostDriver& HostDriver() {
    static ImbHostDriver driver;
    return driver;
}

}  // namespace bmc_test

using bmc_test::HostDriver;

extern "C" int open_imb() {
    return HostDriver().openResult;
}

extern "C" int close_imb() {
    ++HostDriver().closeCalls;
    return HostDriver().closeResult;
}

extern "C" int SendTimedImbpRequest(_IMBPREQUESTDATA* request, unsigned timeoutMs,
                                    std::uint8_t* responseData, int* responseLength,
                                    std::uint8_t* completionCode) {
    const std::uint8_t* data = request->data;
    const std::size_t length = static_cast<std::size_t>(request->dataLength);
    HostDriver().calls.push_back({request->cmdType, request->rsSa, request->busType, request->netFn,
                                  request->rsLun, std::vector<std::uint8_t>(data, data + length),
                                  *responseLength, timeoutMs});

    sim::ipmi::Request bmcRequest;
    bmcRequest.netFn = request->netFn;
    bmcRequest.lun = request->rsLun;
    bmcRequest.cmd = request->cmdType;
    bmcRequest.data = {data, length};
    const sim::ipmi::Response response = sim::TheMachine().Find<sim::Bmc>()->Process(bmcRequest);

    *completionCode = response.completionCode;
    std::copy(response.data.begin(), response.data.end(), responseData);
    *responseLength = HostDriver().reportedLength.value_or(static_cast<int>(response.data.size()));
    return HostDriver().completionCodeAsResult && response.completionCode != 0 ? -507 : 0;
}
