// The debug log every library carries: one process-wide level and functions
// that append lines and hex dumps to "DBGLOG.txt" in the current directory.
// The file is opened and closed for every line so that nothing is lost when
// the host dies in the middle of an update.
#ifndef SRVFW_BMC_DEBUG_LOG_H
#define SRVFW_BMC_DEBUG_LOG_H

#include "include/export.h"

// librask's SetLibDebugLevel hands the new level back; the IPMI libraries'
// returns nothing. The library picks its form by linking bmc_debug_log_rask
// (which defines BMC_DEBUG_LEVEL_RETURNS_LEVEL for its users) or
// bmc_debug_log.
#ifdef BMC_DEBUG_LEVEL_RETURNS_LEVEL
using SetLibDebugLevelResult = unsigned;
#else
using SetLibDebugLevelResult = void;
#endif

extern "C" {

// 0 silences the log; callers write at levels 1 (failures) to 3 (entry and
// exit of every function). Starts at 1.
extern unsigned LIBDBG_DEBUG_LEVEL;

SRVFW_EXPORT SetLibDebugLevelResult SetLibDebugLevel(unsigned level);

// Looks for "-debug1", "-debug2" or "-debug3" (any case) among argv[1..]:
// the first one found sets the level and starts a fresh log file. Without
// one the log is switched off (level 0). Returns the level chosen.
SRVFW_EXPORT int DecodeDebugLevel(int argc, char** argv);

// Appends the formatted line and "\r\n" when level <= LIBDBG_DEBUG_LEVEL.
SRVFW_EXPORT void Dbg(const wchar_t* format, unsigned level, ...);

// At level 2 and above: the title, then count bytes as rows of 16 hex and
// 16 character columns. Bytes of value CCh (the fill of unused buffers)
// show as blanks in the hex columns.
SRVFW_EXPORT void DbgBuffer(const wchar_t* title, unsigned char* data, int count);
}

// The title and count bytes as " %02X" on standard output.
SRVFW_EXPORT void PrintBuffer(wchar_t* title, unsigned char* data, int count);

// Kept for hosts that still call it; it does nothing.
SRVFW_EXPORT void debug(int, wchar_t*);

#endif
