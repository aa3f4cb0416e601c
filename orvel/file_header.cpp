#include "orvel/file_header.h"

#include <new>

#include "bmc/trace.h"

namespace Orvel_Private {

bool CFileHeader::Assign(std::string& member, const char* text) {
    CTrace trace(L"CFileHeader", L"Assign");
    if (text == nullptr) {
        trace.Failure(L"No Text");
        return false;
    }
    try {
        member = text;
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        return false;
    }
    return true;
}

}  // namespace Orvel_Private
