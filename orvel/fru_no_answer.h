// Whether the last FRU transfer ended because a request got no response at
// all, and the text that says so. A BMC that does not answer is not a FRU
// with bad data: the areas' own failure texts would send the user looking
// for a damaged FRU when the fault is on the way to the BMC.
#ifndef SRVFW_ORVEL_FRU_NO_ANSWER_H
#define SRVFW_ORVEL_FRU_NO_ANSWER_H

#include <cstdint>

namespace Orvel_Private {

void SetLastTransferGotNoAnswer(bool noAnswer);
bool LastTransferGotNoAnswer();

// Sets the last-error text to what the message layer found wrong on its way
// to the BMC (the wait that ran out, the port that read FFh...) and
// returns `status`.
std::uint32_t ReportNoAnswer(std::uint32_t status);

}  // namespace Orvel_Private

#endif
