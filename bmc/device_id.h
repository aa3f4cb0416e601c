// Get Device ID, the question every library asks the BMC first: the layer
// tells the BMC's type and IPMI version from it (GetBmcType,
// GetBmcTypeVersion), and a library may read the answer's other fields.
#ifndef SRVFW_BMC_DEVICE_ID_H
#define SRVFW_BMC_DEVICE_ID_H

#include <cstddef>

#include "bmc/bmc_exchange.h"

// Get Device ID response data (after the completion code).
inline constexpr std::size_t kDeviceIdIpmiVersionByte = 4;

// Sends Get Device ID to the BMC through `exchange`: the transport status;
// the answer is in the exchange's response.
int RequestDeviceId(BmcExchange& exchange);

#endif
