// How a record reaches the library's current string table.
//
// The library's state owns the table and replaces it when the host switches
// language while records exist, so a record must never keep the table
// itself: it keeps the slot that holds the current one and looks there on
// every use.
#ifndef SRVFW_PEMRIC_SDR_TEXTS_H
#define SRVFW_PEMRIC_SDR_TEXTS_H

#include <memory>

#include "bmc/string_resource.h"

namespace Pemric_Private {

class CSdrTexts {
  public:
    explicit CSdrTexts(const std::unique_ptr<CStringResource>& currentTable)
        : mCurrentTable(&currentTable) {}

    // The text with that ID in the table installed now. A missing table or
    // string gives an empty text, so that a short string file shows blanks
    // instead of handing a null to the formatting.
    wchar_t* Text(unsigned stringId) const;

  private:
    const std::unique_ptr<CStringResource>* mCurrentTable;
};

}  // namespace Pemric_Private

#endif
