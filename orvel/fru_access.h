// What a FRU transfer needs of the library, handed down from the entry that
// starts it rather than read from the library's globals deep inside: the
// records every request and response goes through, the platform Initialize
// was given, and where the BMC's type is kept. The globals stay the owners
// (orvel/orvel_globals.h builds this from them); a test or a benchmark
// passes its own.
#ifndef SRVFW_ORVEL_FRU_ACCESS_H
#define SRVFW_ORVEL_FRU_ACCESS_H

#include "bmc/bmc_exchange.h"

namespace Orvel_Private {

struct FruAccess {
    BmcExchange exchange;
    // Platform 3 reads FRU_NVS_MBMC devices with Read FRU Data and may need
    // the second write routine.
    int platform;
    // WriteToSystem asks the BMC's type and keeps it here; it chooses the
    // write routine.
    int& bmcType;
};

}  // namespace Orvel_Private

#endif
