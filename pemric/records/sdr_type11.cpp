#include "pemric/records/sdr_type11.h"

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{
    L"CSdrType11", 0x11, Type11_FieldStringTokens, BodyLengthRule::PlusIdString, 11, true};

}  // namespace

CSdrType11::CSdrType11(const CSdrTexts& texts)
    : CSdrLocator(texts, kShape, kTextFruLocatorTitle, true) {}

}  // namespace Pemric_Private
