#include "pemric/sdr_texts.h"

namespace Pemric_Private {

wchar_t* CSdrTexts::Text(unsigned stringId) const {
    static wchar_t noText[1] = L"";
    CStringResource* table = mCurrentTable->get();
    wchar_t* text = table != nullptr ? table->GetString(stringId) : nullptr;
    return text != nullptr ? text : noText;
}

}  // namespace Pemric_Private
