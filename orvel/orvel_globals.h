// The library-wide state that the interface entries and the device access
// share.
#ifndef SRVFW_ORVEL_ORVEL_GLOBALS_H
#define SRVFW_ORVEL_ORVEL_GLOBALS_H

#include <memory>

#include "bmc/bmc_exchange.h"
#include "bmc/message.h"
#include "include/orvel_interface.h"
#include "orvel/fru_access.h"

namespace Orvel_Private {

// Set by a successful Initialize, cleared by DeInitialize.
extern bool g_fInitialized;
// The platform code Initialize was given; platform 3 reads FRU_NVS_MBMC
// devices with Read FRU Data and may need the second write routine.
extern int g_fdPlatform;
// The BMC type WriteToSystem asked for last; it chooses the write routine.
extern int g_BMCType;
// Set by SetDisplayCallback: where the library shows warnings that do not
// stop an operation; null shows none.
extern ORVEL_DISPLAY_CALLBACK p_display;
// The request and response of every exchange with the BMC; allocated by
// Initialize, each large enough for any IPMI message.
extern std::unique_ptr<BMC_MESSAGE> ReqMsg;
extern std::unique_ptr<BMC_MESSAGE> RespMsg;

// The two records as one exchange, and what a FRU transfer takes of the
// state above; for the entries, which run only once Initialize has
// allocated the records.
BmcExchange LibraryExchange();
FruAccess LibraryFruAccess();

}  // namespace Orvel_Private

#endif
