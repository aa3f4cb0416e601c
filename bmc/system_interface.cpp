// Which way requests reach the BMC: the host's IMB driver, or the KCS
// ports that SMBIOS describes; and whether they travel through the local
// IPMI 2.0 session.
#include <cerrno>
#include <cstring>

#include "bmc/imb.h"
#include "bmc/interface_report.h"
#include "bmc/kcs.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "bmc/session.h"
#include "bmc/smbios_discovery.h"
#include "bmc/wide_console.h"
#include "hw/hw.h"

int g_Mbmcsupport = SYSTEM_INTERFACE_KCS;
std::uint16_t kcsBaseAddress = 0;
int eInterface = IPMI_INTERFACE_KCS;
int g_UseUSB = 0;

namespace {

constexpr std::uint16_t kDefaultKcsBase = 0x0CA2;
constexpr std::uint8_t kNoPort = 0xFF;

std::wstring PortsOf(std::uint16_t base, std::uint8_t spacing) {
    return KcsPortsText(base, static_cast<unsigned>(base + spacing));
}

// A status register that reads FFh is a port nothing answers on. Says
// why not in the discovery note.
bool BmcAnswersAt(std::uint16_t base, std::uint8_t spacing, const wchar_t* whence) {
    if (hw::Iopl(3) != 0) {
        AddDiscoveryProblem(
            FormatReport(L"the KCS ports %ls cannot be used: I/O privilege "
                         L"refused (%s; the ports need root)",
                         PortsOf(base, spacing).c_str(), std::strerror(errno)));
        return false;
    }
    if (hw::InByte(static_cast<std::uint16_t>(base + spacing)) == kNoPort) {
        AddDiscoveryProblem(
            FormatReport(L"no BMC answers at the KCS ports %ls (%ls): the "
                         L"status port reads FFh",
                         PortsOf(base, spacing).c_str(), whence));
        return false;
    }
    return true;
}

}  // namespace

int MainInit() {
    NoteDiscoveryProblem({});
    ClearExchangeFailure();
    if (startIPMI() != 0) {
        g_Mbmcsupport = SYSTEM_INTERFACE_IMB;
        return 0;
    }
    const SmbiosIpmiInterface smbios = FindSmbiosIpmiInterface();
    NoteDiscoveryProblem(smbios.problem);
    std::uint8_t spacing = 1;
    const wchar_t* whence = L"from SMBIOS";
    switch (smbios.outcome) {
        case SmbiosIpmiOutcome::kMemoryUnavailable:
            return BMC_MAP_FAILED;
        case SmbiosIpmiOutcome::kNoEntryPoint:
            WriteToStandardOutput(L"SMBIOS Table Not Found!!!\n");
            return BMC_NOT_AVAILABLE;
        case SmbiosIpmiOutcome::kNotKcs:
            g_Mbmcsupport = SYSTEM_INTERFACE_UNUSABLE;
            return BMC_NOT_AVAILABLE;
        case SmbiosIpmiOutcome::kKcs:
            kcsBaseAddress = smbios.baseAddress;
            spacing = smbios.registerSpacing;
            break;
        case SmbiosIpmiOutcome::kNoIpmiRecord:
            kcsBaseAddress = kDefaultKcsBase;
            whence = L"the default: SMBIOS has no IPMI record";
            break;
    }
    // Requests go where the interface is, also after a failed probe: a
    // host may go on, and its requests then fail as no answer there.
    KCSAddress = kcsBaseAddress;
    KCSRegisterSpacing = spacing;
    if (!BmcAnswersAt(kcsBaseAddress, spacing, whence)) {
        WriteToStandardOutput(L"No Response from BMC...Exiting\n");
        return smbios.outcome == SmbiosIpmiOutcome::kKcs ? BMC_NOT_AVAILABLE : BMC_MAP_FAILED;
    }
    g_Mbmcsupport = SYSTEM_INTERFACE_KCS;
    return 0;
}

int BmcLibInitialize() {
    return MainInit() == 0 ? 0 : BMC_NOT_AVAILABLE;
}

int BmcLibDeinitialize() {
    return g_Mbmcsupport == SYSTEM_INTERFACE_IMB ? endIPMI() : 0;
}

std::uint8_t SelectIPMIInterface(_IPMI_INTERFACE_TYPE type) {
    std::uint8_t selected = 0;
    switch (type) {
        case IPMI_INTERFACE_KCS:
            if (g_UseUSB == 1) {
                UsbLibDeinitialize();
                g_UseUSB = 0;
            }
            selected = 1;
            break;
        case IPMI_INTERFACE_USB:
        case IPMI_INTERFACE_USB_BULK:
            // Switching between the two session forms goes through 0, which
            // closes the session.
            if (g_UseUSB == 0) {
                selected = static_cast<std::uint8_t>(UsbLibInitialize());
                g_UseUSB = selected;
            }
            break;
    }
    if (selected == 1) eInterface = type;
    return selected;
}
