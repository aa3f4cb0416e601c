// What the message layer found wrong on its way to the BMC, in words for a
// person: where discovery failed, which port read FFh, which wait ran out
// and how long it took. The libraries put it into their failure texts, so
// that "no answer from the BMC" is never reported as bad data.
#ifndef SRVFW_BMC_INTERFACE_REPORT_H
#define SRVFW_BMC_INTERFACE_REPORT_H

#include <string>

// Replaces what the last discovery found wrong (empty: nothing).
void NoteDiscoveryProblem(std::wstring text);
// Adds to it what a later step of the same discovery found.
void AddDiscoveryProblem(const std::wstring& text);
// The last request that got no response; cleared by the next one that did.
void NoteExchangeFailure(std::wstring text);
void ClearExchangeFailure();

// Both notes, discovery first; empty when nothing went wrong.
std::wstring SystemInterfaceProblem();

// "0CA2h/0CA3h": the data and status ports of a KCS interface.
std::wstring KcsPortsText(unsigned dataPort, unsigned statusPort);

// swprintf into a string; a text longer than 511 characters is cut.
std::wstring FormatReport(const wchar_t* format, ...);

#endif
