// Responses of the local IPMI 2.0 session (the layer's "USB" path), for the
// message layer: a session library that says a request got a response of
// any length, including lengths that do not describe the bytes it gave or
// do not fit the caller. The layer must take only bytes the response holds
// and the caller has room for, and with the bulk form fall back to the KCS
// interface when the session fails.
//
// The session library is fuzz/input_libipmi.cpp, loaded before the layer
// looks for libipmi.so, so that its name is taken by it.
//
// Input: byte 0 chooses the form (bit 0: every request through the session;
// else the bulk form with a request of more than 128 data bytes) and the
// caller's capacity for SendTimedImbpRequest_t (bits 7:1, times 4); then
// the session's answers (fuzz/input_libipmi.cpp).
//
// The KCS transport owns SIGALRM, so libFuzzer's time-out must be off:
//   fuzz_session_response -timeout=0 [corpus dir]
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "sim/core/machine.h"

namespace {

using SetAnswers = void (*)(const std::uint8_t*, std::size_t);
using SessionsOpened = unsigned (*)();

SetAnswers LoadSessionLibrary() {
    void* library = ::dlopen(SRVFW_FUZZ_LIBIPMI, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) std::abort();
    const auto opened =
        reinterpret_cast<SessionsOpened>(::dlsym(library, "FuzzLibipmiSessionsOpened"));
    // The layer must have opened its session through this library, not
    // another libipmi.so.
    if (opened == nullptr || SelectIPMIInterface(IPMI_INTERFACE_USB) != 1 || opened() != 1) {
        std::abort();
    }
    return reinterpret_cast<SetAnswers>(::dlsym(library, "FuzzLibipmiAnswers"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static sim::Machine& machine = sim::ResetMachine();
    static const SetAnswers setAnswers = [] {
        SetLibDebugLevel(0);
        return LoadSessionLibrary();
    }();
    if (setAnswers == nullptr) std::abort();
    machine.Log().Clear();
    g_Mbmcsupport = SYSTEM_INTERFACE_KCS;
    setAnswers(data + 1, size - 1);

    const bool everyRequest = (data[0] & 1) != 0;
    eInterface = everyRequest ? IPMI_INTERFACE_USB : IPMI_INTERFACE_USB_BULK;
    auto request = std::make_unique<BMC_MESSAGE>();
    request->slaveAddress = kBmcSlaveAddress;
    request->netFn = everyRequest ? 0x06 : 0x0A;
    request->cmd = everyRequest ? 0x01 : 0x12;  // Get Device ID; Write FRU Data
    request->dataLength = everyRequest ? 0 : 200;
    auto response = std::make_unique<BMC_MESSAGE>();
    const int status = ProcessMessage(request.get(), response.get(), 5000);
    if (response->dataLength > kBmcMessageDataSize) std::abort();
    if (status != 0 && response->dataLength != 0) std::abort();

    // Straight to the layer's entry, with a small buffer.
    const int capacity = (data[0] >> 1) * 4;
    int length = capacity;
    std::uint8_t completionCode = 0;
    _IMBPREQUESTDATA imb{request->cmd,
                         kBmcSlaveAddress,
                         0,
                         request->netFn,
                         0,
                         request->data,
                         static_cast<std::int32_t>(request->dataLength)};
    if (SendTimedImbpRequest_t(&imb, 5000, response->data, &length, &completionCode) == 0 &&
        (length < 0 || length > capacity)) {
        std::abort();
    }
    return 0;
}
