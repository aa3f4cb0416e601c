// A firmware library that exists only for the tests of srvfw's fw commands:
// the firmware library's table over a script the test sets through the
// library itself (the image it "reads", the controllers' versions, how a
// commit goes), recording every call, so that a test sees what srvfw asked
// of the library and what it left alone.
#ifndef SRVFW_TESTS_HOST_FAKE_LIBRARY_FAKE_DUVANE_H
#define SRVFW_TESTS_HOST_FAKE_LIBRARY_FAKE_DUVANE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "include/duvane_interface.h"

struct FakeDuvaneScript {
    // The image: device, name, versions by EFWUPDATE_DEVICE_AREA (an area
    // missing: no block), ranges likewise.
    unsigned char imageDevice = DUVANE_DEVICE_BMC;
    std::wstring imageName = L"BMC";
    std::map<int, std::wstring> imageVersions;
    std::map<int, std::pair<unsigned, unsigned>> imageRanges;
    std::uint32_t loadStatus = 0;
    // The controllers that answer, with their versions by area.
    std::map<int, std::map<int, std::wstring>> running;
    bool forSystem = true;
    // The commit: the phases it reports (each to 100%), then its status.
    std::vector<std::wstring> phases;
    std::uint32_t commitStatus = 0;
    // Where the controller is after the commit; without the entries the
    // table leaves them null.
    bool withExtraEntries = true;
    bool inTransferMode = false;
    std::wstring lastError;
    std::vector<std::string> calls;
};

extern "C" FakeDuvaneScript* FakeDuvaneScriptOf();

#endif
