// The debug lines every operation of an IPMI library writes:
// "<class>::<function> [ENTRY]" and "[EXIT]" at level 3, and
// "<class>::<function> - <words>" at level 1 before it reports a failure.
// Support reads these logs to see how far a field update got, so the lines
// are fixed texts, the same in every library.
#ifndef SRVFW_BMC_TRACE_H
#define SRVFW_BMC_TRACE_H

#include "bmc/debug_log.h"

class CTrace {
  public:
    CTrace(const wchar_t* prefix, const wchar_t* name) : mPrefix(prefix), mName(name) {
        Dbg(L"%ls::%ls [ENTRY]", 3, mPrefix, mName);
    }
    ~CTrace() { Dbg(L"%ls::%ls [EXIT]", 3, mPrefix, mName); }
    CTrace(const CTrace&) = delete;
    CTrace& operator=(const CTrace&) = delete;

    void Failure(const wchar_t* words) const { Dbg(L"%ls::%ls - %ls", 1, mPrefix, mName, words); }

  private:
    const wchar_t* mPrefix;
    const wchar_t* mName;
};

#endif
