#include "sim/bmc/libipmi_endpoint.h"

#include <cstdio>

#include "sim/core/setting_lists.h"
#include "sim/libipmi/libipmi.h"

namespace sim {

namespace {

constexpr std::uint8_t kAdministrator = 4;

}  // namespace

LibipmiEndpoint::LibipmiEndpoint(Machine& machine, Bmc& bmc)
    : mMachine(machine),
      mBmc(bmc),
      mAddress(machine.Config().Get("libipmi.address", "127.0.0.1")),
      mPort(
          static_cast<std::uint16_t>(SettingNumber(machine.Config(), "libipmi.port", 623, 0xFFFF))),
      mSessionFault(CodedFault::FromSetting(machine.Config(), "libipmi.fault.session",
                                            LIBIPMI_E_SESSION_REFUSED, 0xFFFF, LIBIPMI_OK)),
      mSendFault(CodedFault::FromSetting(machine.Config(), "libipmi.fault.send",
                                         LIBIPMI_E_SEND_FAILED, 0xFFFF, LIBIPMI_OK)) {}

std::uint16_t LibipmiEndpoint::Logged(const std::string& operation, std::uint64_t address,
                                      std::uint16_t result, const std::string& detail) const {
    mMachine.Log().Add({"libipmi", operation, address, result, 0, detail});
    return result;
}

std::uint16_t LibipmiEndpoint::Open(const std::string& address, std::uint16_t port,
                                    std::uint8_t* privilegeLevel, std::uint32_t* session) {
    const std::string where = address + ":" + std::to_string(port);
    if (address != mAddress || port != mPort) {
        return Logged("open", port, LIBIPMI_E_UNREACHABLE, where + " -> no BMC endpoint there");
    }
    const std::uint8_t requested = privilegeLevel == nullptr ? kAdministrator : *privilegeLevel;
    if (requested == 0 || requested > kAdministrator) {
        return Logged("open", port, LIBIPMI_E_INVALID_ARGUMENT,
                      where + " -> privilege " + std::to_string(requested) + " does not exist");
    }
    if (mSessionFault.times.Strike()) {
        return Logged("open", port, static_cast<std::uint16_t>(mSessionFault.code),
                      where + " -> refused (injected)");
    }
    *session = mNextSession++;
    mOpen.insert(*session);
    if (privilegeLevel != nullptr) *privilegeLevel = requested;
    return Logged("open", port, LIBIPMI_OK,
                  where + " privilege " + std::to_string(requested) + " -> session " +
                      std::to_string(*session));
}

std::uint16_t LibipmiEndpoint::Send(std::uint32_t session, const ipmi::Request& request,
                                    ipmi::Response* response) {
    auto fail = [&](std::uint16_t code, const std::string& reason) {
        char head[48];
        std::snprintf(head, sizeof head, "netfn=%02X lun=%u cmd=%02X data=[", request.netFn,
                      request.lun, request.cmd);
        mMachine.Log().Add({"libipmi", "send", request.netFn, request.cmd, 0,
                            head + ipmi::HexBytes(request.data) + "] -> failed (" +
                                std::to_string(code) + "): " + reason});
        return code;
    };
    if (!IsOpen(session)) {
        return fail(LIBIPMI_E_NO_SESSION, "session " + std::to_string(session) + " is not open");
    }
    if (mSendFault.times.Strike()) {
        return fail(static_cast<std::uint16_t>(mSendFault.code), "injected");
    }
    *response = mBmc.Process(request);
    if (response->silent) return fail(LIBIPMI_E_SEND_FAILED, "no answer: the BMC stopped");
    mMachine.Log().Add({"libipmi", "send", request.netFn, request.cmd, 0,
                        ipmi::FormatExchange(request, *response)});
    return LIBIPMI_OK;
}

std::uint16_t LibipmiEndpoint::Close(std::uint32_t session) {
    const std::uint16_t result = mOpen.erase(session) != 0 ? LIBIPMI_OK : LIBIPMI_E_NO_SESSION;
    return Logged("close", session, result, "session " + std::to_string(session));
}

void LibipmiEndpoint::Describe(std::ostream& out) const {
    out << "    IPMI 2.0 LAN endpoint " << mAddress << ":" << mPort << ", " << mOpen.size()
        << " sessions open\n";
    if (mSessionFault.times.Armed()) {
        out << "    fault: sessions refused with " << mSessionFault.code << ", "
            << mSessionFault.times.Describe() << "\n";
    }
    if (mSendFault.times.Armed()) {
        out << "    fault: requests fail with " << mSendFault.code << ", "
            << mSendFault.times.Describe() << "\n";
    }
}

}  // namespace sim
