#include "pemric/records/sdr_type12.h"

#include "pemric/records/field_string_tokens.h"
#include "pemric/string_ids.h"

namespace Pemric_Private {

namespace {

const RecordShape kShape{
    L"CSdrType12", 0x12, Type12_FieldStringTokens, BodyLengthRule::PlusIdString, 11, true};

}  // namespace

CSdrType12::CSdrType12(const CSdrTexts& texts)
    : CSdrLocator(texts, kShape, kTextControllerLocatorTitle, false) {}

}  // namespace Pemric_Private
