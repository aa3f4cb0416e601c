// The message layer's process-wide state: one set per library copy, no
// locks (a host calls a library from one thread).
#ifndef SRVFW_BMC_MESSAGE_STATE_H
#define SRVFW_BMC_MESSAGE_STATE_H

#include <cstdint>

// g_Mbmcsupport: which system interface MainInit found.
enum SystemInterface : int {
    SYSTEM_INTERFACE_KCS = 0,
    SYSTEM_INTERFACE_UNUSABLE = 1,  // SMBIOS names an interface other than KCS
    SYSTEM_INTERFACE_IMB = 2,       // the host's IMB driver interface
};

extern int g_Mbmcsupport;
// KCS base from the SMBIOS type 38 record (I/O-space flag bit removed), or
// the default 0CA2h; only MainInit's presence probe uses it.
extern std::uint16_t kcsBaseAddress;
extern int eInterface;  // the selected _IPMI_INTERFACE_TYPE
extern int g_UseUSB;    // 1 while the libipmi session is open
extern int g_bmcType;   // BmcType, 0 until GetBmcTypeVersion has asked
extern int g_ipmiVersion;
extern std::uint8_t sendSeq;  // sequence number of bridged requests, 1..63
// Latched the first time a Send Message is answered with 83h: from then on
// every bridged request polls for its answer ten times as long.
extern std::uint8_t incTestCount;

#endif
