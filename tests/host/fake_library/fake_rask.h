// A BIOS library that exists only for the tests of srvfw's bios commands:
// the BIOS library's table over a flash kept in memory and a script the
// test sets through the library itself (the tables it gives, a block whose
// erase or write fails, the notification), recording every call with the
// ranges of the area table srvfw passed, so that a test sees what srvfw
// asked of the library and in which order.
#ifndef SRVFW_TESTS_HOST_FAKE_LIBRARY_FAKE_RASK_H
#define SRVFW_TESTS_HOST_FAKE_LIBRARY_FAKE_RASK_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "include/rask_interface.h"

struct FakeRaskScript {
    std::vector<std::uint8_t> fst;
    std::vector<std::uint8_t> fat;  // empty: the BIOS keeps none
    // The flash from flashBase up, as the library would read it.
    std::uint32_t flashBase = 0xFFF00000;
    std::vector<std::uint8_t> flash;
    // The block (by its flash address) whose erase or write fails; a failed
    // write leaves the first half of the block programmed.
    std::optional<std::uint32_t> failEraseAt;
    std::optional<std::uint32_t> failWriteAt;
    std::optional<std::uint32_t> failReadAt;
    std::uint32_t checkStatus = 0;
    std::uint32_t notifyStatus = 0;
    RASK_NOTIFY_STATE notifyState = RASK_NOTIFY_NONE;
    bool withNotifyTable = true;
    std::vector<std::uint8_t> smbiosEntry;
    std::vector<std::uint8_t> smbiosTable;
    // What Initialize was given.
    int platform = -1;
    bool skipPrimary = true;
    // One line a call: "Erase FFF20000-FFF2FFFF", "Write ...", "Read ...",
    // "Check 2 ranges", "Notify set", "Initialize", "DeInitialize".
    std::vector<std::string> calls;
};

extern "C" FakeRaskScript* FakeRaskScriptOf();

#endif
