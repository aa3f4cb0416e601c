// The kernel's IPMI device as srvfw's IMB driver library meets it, with a
// kernel whose answers cannot be trusted: it refuses requests with any
// errno, hands back events, commands and answers to other requests, answers
// with another message ID, cuts long answers short, or says nothing. The
// library serves the message layer, which bridges to the controllers behind
// the BMC with Send Message and Get Message; both must refuse what they
// cannot use without reading past an answer and end every exchange.
//
// Input: byte 0 chooses the request: bits 1:0 a request to the BMC
// through the message layer, a bridged one to the controller at C0h, or one
// straight to SendTimedImbpRequest with the capacity byte 1 gives; bit 2
// the firmware network function (23 bridged attempts). Then the kernel's
// part, one answer (a length byte and that many bytes) per request the
// library sends:
//   byte 0     bit 7: the request is refused with the errno bits 2:0 pick;
//              else it is taken
//   then the messages the kernel queues for it, each a length byte and
//   that many bytes: byte 0 bits 1:0 the receive type (response, async
//   event, command, response), bit 2 another message ID, bit 3 a data
//   length of 0; the rest the data (completion code first)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
// The kernel's header uses the ioctl macros of <sys/ioctl.h>.
#include <linux/ipmi.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "fuzz/input_answers.h"
#include "host/imb/imb_driver.h"
#include "sim/core/kernel_ipmi_device.h"
#include "sim/core/machine.h"

namespace {

using fuzz_input::Bytes;

// The device node the simulated kernel makes for the IPMI driver.
constexpr const char* kNode = sim::kernel_ipmi::kDefaultNode;
constexpr unsigned kMajor = 245;  // none of the simulated server's own

struct Queued {
    int recvType;
    long msgid;
    int addrType;
    Bytes data;
};

// A character device at /dev/ipmi0 that answers as the input says.
class InputKernel : public sim::CharDriver {
  public:
    void Start(std::deque<Bytes> answers) {
        mAnswers = std::move(answers);
        mQueued.clear();
    }

    int Ioctl(unsigned long request, void* argument) override {
        switch (request) {
            case IPMICTL_SEND_COMMAND:
                return Send(*static_cast<ipmi_req*>(argument));
            case IPMICTL_SEND_COMMAND_SETTIME:
                return Send(static_cast<ipmi_req_settime*>(argument)->req);
            case IPMICTL_RECEIVE_MSG_TRUNC:
                return Receive(*static_cast<ipmi_recv*>(argument));
            default:
                return ENOTTY;
        }
    }
    std::uint64_t MapPhysical(std::uint64_t, std::uint64_t, int* error) override {
        *error = ENODEV;
        return 0;
    }
    bool Readable(int) override { return !mQueued.empty(); }

  private:
    int Send(const ipmi_req& request) {
        static constexpr int kErrors[] = {EINVAL, EMSGSIZE, EAGAIN, EFAULT,
                                          ENOMEM, EIO,      EBUSY,  EPERM};
        const std::optional<Bytes> answer = fuzz_input::Next(mAnswers);
        if (!answer || answer->empty()) return EIO;
        if ((answer->front() & 0x80) != 0) return kErrors[answer->front() & 7];
        int addrType = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
        if (request.addr != nullptr && request.addr_len >= static_cast<int>(sizeof(int))) {
            std::memcpy(&addrType, request.addr, sizeof addrType);
        }
        for (Bytes& message : fuzz_input::AnswersOf(std::span(*answer).subspan(1))) {
            if (message.empty()) continue;
            const std::uint8_t how = message.front();
            static constexpr int kTypes[] = {IPMI_RESPONSE_RECV_TYPE, IPMI_ASYNC_EVENT_RECV_TYPE,
                                             IPMI_CMD_RECV_TYPE, IPMI_RESPONSE_RECV_TYPE};
            Bytes data = (how & 8) != 0 ? Bytes() : Bytes(message.begin() + 1, message.end());
            mQueued.push_back({kTypes[how & 3], request.msgid + ((how & 4) != 0 ? 1 : 0), addrType,
                               std::move(data)});
        }
        return 0;
    }

    // As the kernel does it: the oldest message, its data cut to the
    // caller's buffer (EMSGSIZE then, the message gone all the same).
    int Receive(ipmi_recv& received) {
        if (mQueued.empty()) return EAGAIN;
        Queued message = std::move(mQueued.front());
        mQueued.pop_front();
        received.recv_type = message.recvType;
        received.msgid = message.msgid;
        if (received.addr != nullptr && received.addr_len >= static_cast<int>(sizeof(int))) {
            std::memcpy(received.addr, &message.addrType, sizeof message.addrType);
        }
        const std::size_t capacity = received.msg.data_len;
        const std::size_t copied = std::min(capacity, message.data.size());
        if (copied > 0) std::memcpy(received.msg.data, message.data.data(), copied);
        received.msg.data_len = static_cast<unsigned short>(copied);
        return copied < message.data.size() ? EMSGSIZE : 0;
    }

    std::deque<Bytes> mAnswers;
    std::deque<Queued> mQueued;
};

InputKernel& Kernel(sim::Machine& machine) {
    static InputKernel kernel;
    sim::HostOs& host = machine.Host();
    if (host.NodeExists(kNode)) host.RemoveNode(kNode);
    host.RegisterDriver("fuzzipmi", kMajor, kernel);
    if (host.MakeNode(kNode, S_IFCHR | 0600, makedev(kMajor, 0)) != 0) std::abort();
    return kernel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // One machine and one open device for the whole run.
    static sim::Machine& machine = sim::ResetMachine();
    static InputKernel& kernel = Kernel(machine);
    static const bool opened = [] {
        SetLibDebugLevel(0);
        char why[256];
        return srvfw_imb_choose(SRVFW_IMB_DRIVER, why, sizeof why) == 1 && MainInit() == 0 &&
               g_Mbmcsupport == SYSTEM_INTERFACE_IMB;
    }();
    if (!opened) std::abort();
    machine.Log().Clear();
    sendSeq = 1;
    incTestCount = 0;

    const std::uint8_t choice = data[0];
    kernel.Start(fuzz_input::AnswersOf({data + 2, size - 2}));
    const std::uint8_t netFn = (choice & 4) != 0 ? 0x08 : 0x06;
    auto request = std::make_unique<BMC_MESSAGE>();
    request->netFn = netFn;
    request->cmd = 0x01;
    request->dataLength = 0;
    auto response = std::make_unique<BMC_MESSAGE>();
    switch (choice & 3) {
        case 0:
        case 1: {
            const bool bridged = (choice & 1) != 0;
            request->slaveAddress = bridged ? 0xC0 : kBmcSlaveAddress;
            const int status = ProcessMessage(request.get(), response.get(), 5000);
            if (response->dataLength > kBmcMessageDataSize) std::abort();
            if (status != 0 && !bridged && response->dataLength != 0) std::abort();
            break;
        }
        default: {
            // Straight to the library, with the caller's capacity from the
            // input: an answer must fit it or be refused. Bit 3: a Send
            // Message to the controller at C0h and the Get Message after it.
            std::uint8_t frame[] = {0x00, 0xC0, 0x18, 0x28, 0x81, 0x04, 0x01, 0x7A};
            const bool bridged = (choice & 8) != 0;
            _IMBPREQUESTDATA imb{static_cast<std::uint8_t>(bridged ? 0x34 : 0x01),
                                 kBmcSlaveAddress,
                                 0,
                                 0x06,
                                 0,
                                 frame,
                                 bridged ? static_cast<std::int32_t>(sizeof frame) : 0};
            const int capacity = data[1];
            for (int step = 0; step < (bridged ? 2 : 1); ++step) {
                if (step == 1) imb = {0x33, kBmcSlaveAddress, 0, 0x06, 0, nullptr, 0};
                int length = capacity;
                std::uint8_t completionCode = 0;
                if (SendTimedImbpRequest(&imb, 5000, response->data, &length, &completionCode) ==
                        0 &&
                    (length < 0 || length > capacity)) {
                    std::abort();
                }
            }
            break;
        }
    }
    return 0;
}
