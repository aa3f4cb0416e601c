// Which way requests reach the BMC: the host's IMB driver, or the KCS
// ports that SMBIOS describes; and whether they travel through the local
// IPMI 2.0 session.
#include "bmc/imb.h"
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

// A status register that reads FFh is a port nothing answers on.
bool BmcAnswersAt(std::uint16_t base) {
    return hw::Iopl(3) == 0 && hw::InByte(static_cast<std::uint16_t>(base + 1)) != 0xFF;
}

}  // namespace

int MainInit() {
    if (startIPMI() != 0) {
        g_Mbmcsupport = SYSTEM_INTERFACE_IMB;
        return 0;
    }
    const SmbiosIpmiInterface smbios = FindSmbiosIpmiInterface();
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
            break;
        case SmbiosIpmiOutcome::kNoIpmiRecord:
            kcsBaseAddress = kDefaultKcsBase;
            break;
    }
    if (!BmcAnswersAt(kcsBaseAddress)) {
        WriteToStandardOutput(L"No Response from BMC...Exiting\n");
        return smbios.outcome == SmbiosIpmiOutcome::kKcs ? BMC_NOT_AVAILABLE : BMC_MAP_FAILED;
    }
    // The transport keeps to KCSAddress whatever base SMBIOS gave.
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
