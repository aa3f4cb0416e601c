// The IMB driver interface over the kernel's IPMI device, and srvfw's
// choice of the way to the BMC.
#include "host/imb/imb_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bmc/ipmi_numbers.h"
#include "host/imb/bridged_messages.h"
#include "host/imb/kernel_ipmi_device.h"
#include "hw/hw.h"

namespace {

using srvfw_imb::BridgedMessages;
using srvfw_imb::IpmiAnswer;
using srvfw_imb::KernelIpmiDevice;

constexpr const char* kIpmiSiModule = "ipmi_si";

struct Driver {
    bool chosen = false;
    KernelIpmiDevice device;
    BridgedMessages bridged;
    std::string lastFailure;
};

Driver& TheDriver() {
    static Driver driver;
    return driver;
}

void CopyText(const std::string& text, char* out, unsigned size) {
    if (out == nullptr || size == 0) return;
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
}

}  // namespace

int srvfw_imb_choose(int choice, char* why, unsigned whySize) {
    Driver& driver = TheDriver();
    driver.chosen = false;
    driver.device.Close();
    CopyText("", why, whySize);
    if (choice == SRVFW_IMB_PORTS) return 0;
    if (choice != SRVFW_IMB_AUTO && choice != SRVFW_IMB_DRIVER) {
        CopyText("unknown choice of interface", why, whySize);
        return -1;
    }

    std::string reason;
    bool absent = true;
    if (driver.device.Open(reason, absent)) {
        driver.chosen = true;
        return 1;
    }
    if (choice == SRVFW_IMB_DRIVER || !absent) {
        CopyText("the kernel's IPMI device cannot be opened (" + reason +
                     (absent ? "): load the kernel's IPMI driver (modprobe ipmi_si "
                               "ipmi_devintf), or use --interface kcs"
                             : "): run as root, or use --interface kcs"),
                 why, whySize);
        return -1;
    }
    // Where ipmi_si runs it owns the KCS interface: driving the ports under
    // it would corrupt its transfers and ours.
    if (hw::KernelModulePresent(kIpmiSiModule)) {
        CopyText(
            "the kernel's IPMI driver (ipmi_si) owns the KCS interface, but there is no "
            "IPMI device to reach it through (" +
                reason +
                "): load ipmi_devintf (modprobe ipmi_devintf), or use --interface kcs to "
                "drive the ports anyway",
            why, whySize);
        return -1;
    }
    return 0;
}

const char* srvfw_imb_last_failure() {
    return TheDriver().lastFailure.c_str();
}

int open_imb() {
    Driver& driver = TheDriver();
    if (!driver.chosen) return 0;
    std::string reason;
    bool absent = true;
    if (!driver.device.Open(reason, absent)) {
        driver.lastFailure = "the kernel's IPMI device cannot be opened (" + reason + ")";
        return 0;
    }
    return 1;
}

int close_imb() {
    TheDriver().device.Close();
    return 0;
}

int SendTimedImbpRequest(_IMBPREQUESTDATA* request, unsigned timeoutMs, std::uint8_t* responseData,
                         int* responseLength, std::uint8_t* completionCode) {
    if (request == nullptr || responseData == nullptr || responseLength == nullptr ||
        completionCode == nullptr || request->dataLength < 0 ||
        (request->dataLength > 0 && request->data == nullptr)) {
        return 1;
    }
    Driver& driver = TheDriver();
    const std::span<const std::uint8_t> data(request->data,
                                             static_cast<std::size_t>(request->dataLength));
    std::string why;
    std::optional<IpmiAnswer> answer;
    if (request->netFn == ipmi::kNetFnApp && request->cmdType == ipmi::kSendMessage) {
        answer = driver.bridged.Send(driver.device, data, timeoutMs, why);
    } else if (request->netFn == ipmi::kNetFnApp && request->cmdType == ipmi::kGetMessage) {
        answer = driver.bridged.Get();
    } else {
        answer = driver.device.Exchange(
            {{false, 0, request->rsSa, request->rsLun}, request->netFn, request->cmdType, data},
            timeoutMs, why);
    }
    // The kernel's own error answers are no answer to the caller, not an
    // answer that refuses.
    if (answer && srvfw_imb::WhoAnswered(*answer) != srvfw_imb::AnswerFrom::kBmc) {
        char code[8];
        std::snprintf(code, sizeof code, "%02Xh", answer->completionCode);
        why = std::string("the kernel gave up on the BMC (completion code ") + code + ")";
        answer.reset();
    }
    if (answer && answer->data.size() > static_cast<std::size_t>(std::max(*responseLength, 0))) {
        answer.reset();
        why = "the answer is longer than the caller's buffer";
    }
    if (!answer) {
        driver.lastFailure = why;
        return 1;
    }
    driver.lastFailure.clear();
    *completionCode = answer->completionCode;
    std::copy(answer->data.begin(), answer->data.end(), responseData);
    *responseLength = static_cast<int>(answer->data.size());
    return 0;
}
