// Get Device ID answers from a BMC that cannot be trusted, for the two
// readers of them: the message layer's BMC type and IPMI version (which
// choose the FRU write routine), and liborvel's properties, whose IPMI
// version comes from the same answer. An answer of any length and content
// must give a known type, a known version or none, and never a byte the
// answer does not hold.
//
// Input: byte 0 chooses the reader (GetBmcType, GetBmcTypeVersion, or
// liborvel's LoadPropertiesFromSystem and its three values); then the BMC's
// answers, each a length byte and that many bytes: completion code, then
// data.
//
// The KCS transport owns SIGALRM, so libFuzzer's time-out must be off:
//   fuzz_device_id -timeout=0 [corpus dir]
#include <cstdint>
#include <cstdlib>

#include "bmc/debug_log.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "fuzz/input_answers.h"
#include "orvel/orvel_public.h"
#include "orvel/orvel_status.h"
#include "sim/core/machine.h"
#include "tests/bmc/scripted_kcs_bmc.h"

using Orvel_Private::ORVEL_SUCCESS;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // One machine and one initialised library for the whole run.
    static sim::Machine& machine = sim::ResetMachine();
    static const bool initialized = [] {
        SetLibDebugLevel(0);
        return Orvel_Public::Initialize(nullptr, 0) == ORVEL_SUCCESS;
    }();
    if (!initialized) std::abort();
    machine.Log().Clear();
    g_Mbmcsupport = SYSTEM_INTERFACE_KCS;
    // The type and version are kept for the process once asked.
    g_bmcType = BMC_TYPE_NONE;
    g_ipmiVersion = 0;

    const bmc_test::ScriptedKcsBmc bmc(
        machine, fuzz_input::KcsFramesOf(fuzz_input::AnswersOf({data + 1, size - 1}), 0x06, 0x01));
    const auto knownType = [](int type) {
        return type == BMC_TYPE_NONE || type == BMC_TYPE_STANDARD || type == BMC_TYPE_PRODUCT_43XX;
    };
    switch (data[0] % 3) {
        case 0: {
            int type = -1;
            GetBmcType(&type);
            if (!knownType(type)) std::abort();
            break;
        }
        case 1: {
            int type = -1, version = -1;
            const int status = GetBmcTypeVersion(&type, &version);
            if (status == 0 &&
                (type == BMC_TYPE_NONE || !knownType(type) || version < 0 || version > 2)) {
                std::abort();
            }
            break;
        }
        default:
            if (Orvel_Public::LoadPropertiesFromSystem(nullptr) != ORVEL_SUCCESS) std::abort();
            for (std::uint32_t index = 0; index < 3; ++index) {
                const wchar_t* value = nullptr;
                if (Orvel_Public::SelectProperty(nullptr, index) != ORVEL_SUCCESS ||
                    Orvel_Public::GetPropertyValue(nullptr, &value) != ORVEL_SUCCESS ||
                    value == nullptr) {
                    std::abort();
                }
            }
            break;
    }
    return 0;
}
