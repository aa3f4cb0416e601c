#include "pemric/records/sdr_type10.h"

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{
    L"CSdrType10", 0x10, Type10_FieldStringTokens, BodyLengthRule::PlusIdString, 11, true};

}  // namespace

CSdrType10::CSdrType10(const CSdrTexts& texts)
    : CSdrLocator(texts, kShape, kTextGenericLocatorTitle, true) {}

}  // namespace Pemric_Private
