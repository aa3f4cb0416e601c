#include "orvel/fru_no_answer.h"

#include <string>

#include "bmc/interface_report.h"
#include "orvel/last_error.h"
#include "orvel/orvel_strings.h"
#include "orvel/orvel_text.h"

namespace Orvel_Private {

namespace {

bool gNoAnswer = false;

}  // namespace

void SetLastTransferGotNoAnswer(bool noAnswer) {
    gNoAnswer = noAnswer;
}

bool LastTransferGotNoAnswer() {
    return gNoAnswer;
}

std::uint32_t ReportNoAnswer(std::uint32_t status) {
    std::wstring problem = SystemInterfaceProblem();
    if (problem.empty()) problem = FormatOrvelString(IDS_BMC_NO_ANSWER_DETAIL);
    SetLastErrorString(IDS_BMC_NO_ANSWER, problem.c_str());
    return status;
}

}  // namespace Orvel_Private
