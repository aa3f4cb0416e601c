#include "orvel/orvel_globals.h"

namespace Orvel_Private {

bool g_fInitialized = false;
int g_fdPlatform = 0;
int g_BMCType = 0;
ORVEL_DISPLAY_CALLBACK p_display = nullptr;
std::unique_ptr<BMC_MESSAGE> ReqMsg;
std::unique_ptr<BMC_MESSAGE> RespMsg;

BmcExchange LibraryExchange() {
    return {*ReqMsg, *RespMsg};
}

FruAccess LibraryFruAccess() {
    return {LibraryExchange(), g_fdPlatform, g_BMCType};
}

}  // namespace Orvel_Private
