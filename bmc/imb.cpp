#include "bmc/imb.h"

int startIPMI() {
    return open_imb != nullptr ? open_imb() : 0;
}

int endIPMI() {
    return close_imb != nullptr ? close_imb() : 0;
}

int SendThroughImbDriver(_IMBPREQUESTDATA* request, unsigned timeoutMs, std::uint8_t* responseData,
                         int* responseLength, std::uint8_t* completionCode) {
    // A host may supply open_imb without the request function.
    if (SendTimedImbpRequest == nullptr) return 1;
    const int capacity = *responseLength;
    int result =
        SendTimedImbpRequest(request, timeoutMs, responseData, responseLength, completionCode);
    if (result == BMC_COMPLETION_CODE && *completionCode != 0) result = 0;
    if (result == 0 && (*responseLength < 0 || *responseLength > capacity)) return 1;
    return result;
}
