// The answers of a BMC's SDR repository that cannot be trusted, for
// libpemric's repository access: Get SDR Repository Info, Reserve, Get SDR
// parts of any length and content, next-record IDs that go anywhere,
// refusals, cancelled reservations, erase progress that never ends and
// Partial Add answers without the record ID. The library must take no byte
// an answer does not hold, never ask for a part past the record the header
// announced, and end every load and every write after a bounded number of
// requests.
//
// Input: byte 0 chooses the operation (bits 1:0: load the repository, read
// one record, erase, add one 40-byte record; bit 2 keeps records that do
// not decode), byte 1 the record count the load expects; then the answers,
// each a length byte and that many bytes: completion code, then data.
//
// The KCS transport owns SIGALRM, so libFuzzer's time-out must be off:
//   fuzz_sdr_repository -timeout=0 [corpus dir]
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bmc/debug_log.h"
#include "bmc/message_state.h"
#include "fuzz/input_answers.h"
#include "pemric/sdr_read_system.h"
#include "sim/core/machine.h"
#include "tests/bmc/scripted_kcs_bmc.h"

namespace {

using fuzz_input::Bytes;
using namespace Pemric_Private;

constexpr std::uint8_t kNetFnStorage = 0x0A;
constexpr std::uint8_t kGetSdr = 0x23;
constexpr unsigned kPart = 16;

// The requests of one record read: a reservation, the header and at most
// 16 parts of 16 bytes, each time the reservation may be cancelled.
constexpr std::size_t kMostRequestsPerRecord = (kReservationRestarts + 1) * (2 + 16);

// Every Get SDR asks at most 16 bytes, and only within the 260 bytes a
// record can have.
void CheckGetSdrRequests(const bmc_test::ScriptedKcsBmc& bmc) {
    for (const Bytes& request : bmc.Requests()) {
        if (request.size() < 2 || request[1] != kGetSdr) continue;
        if (request.size() != 2 + 6) std::abort();
        const unsigned offset = request[6];
        const unsigned count = request[7];
        if (count > kPart || count == 0 || offset + count > kRecordBuffer) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static sim::Machine& machine = []() -> sim::Machine& {
        sim::Machine& built = sim::ResetMachine();
        SetLibDebugLevel(0);
        return built;
    }();
    static const auto request = std::make_unique<BMC_MESSAGE>();
    static const auto response = std::make_unique<BMC_MESSAGE>();
    static std::unique_ptr<CStringResource> noTable;
    static const CSdrTexts texts(noTable);
    machine.Log().Clear();
    g_Mbmcsupport = SYSTEM_INTERFACE_KCS;

    const std::uint8_t choice = data[0];
    const unsigned expected = data[1];
    bmc_test::ScriptedKcsBmc bmc(
        machine, fuzz_input::KcsFramesOf(fuzz_input::AnswersOf({data + 2, size - 2}), kNetFnStorage,
                                         kGetSdr));
    SdrReadSystem repository({*request, *response}, texts, {});
    switch (choice & 3) {
        case 0: {
            SdrRecordLists lists;
            unsigned total = 0;
            const bool keep = (choice & 4) != 0;
            if (keep) {
                repository.LoadSdrRecordsToListMBMC(lists, expected, total);
            } else {
                repository.LoadSdrRecordsToList(
                    lists, {.recordCount = static_cast<std::uint16_t>(expected)}, total);
            }
            unsigned records = 0;
            for (const auto& list : lists.byType) records += list.Count();
            if (records > 2 * expected + 16) std::abort();
            if (bmc.Requests().size() > 1 + (2 * expected + 16) * kMostRequestsPerRecord) {
                std::abort();
            }
            break;
        }
        case 1: {
            SdrRecordBuffer record{};
            std::uint16_t id = 0;
            repository.ReadRecFromBMC(record, id);
            if (bmc.Requests().size() > kMostRequestsPerRecord) std::abort();
            break;
        }
        case 2:
            repository.ClearSDRRepository();
            // A reservation, the start and three polls.
            if (bmc.Requests().size() > 5) std::abort();
            break;
        default: {
            std::vector<unsigned char> record(40, 0x5A);
            record[4] = 35;
            repository.SendRecordToBMC(record);
            if (bmc.Requests().size() > (kReservationRestarts + 1) * 4) std::abort();
            break;
        }
    }
    CheckGetSdrRequests(bmc);
    return 0;
}
