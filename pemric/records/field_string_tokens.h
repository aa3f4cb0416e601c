// The title and location string IDs of every field of every record type,
// indexed by field number. The type 02h table belongs to its class.
#ifndef SRVFW_PEMRIC_RECORDS_FIELD_STRING_TOKENS_H
#define SRVFW_PEMRIC_RECORDS_FIELD_STRING_TOKENS_H

#include <array>

#include "pemric/sdr.h"

namespace Pemric_Private {

extern const std::array<FieldStringToken, 47> FieldStringTokens;
extern const std::array<FieldStringToken, 16> Type03_FieldStringTokens;
extern const std::array<FieldStringToken, 15> Type08_FieldStringTokens;
extern const std::array<FieldStringToken, 31> Type09_FieldStringTokens;
extern const std::array<FieldStringToken, 16> Type10_FieldStringTokens;
extern const std::array<FieldStringToken, 16> Type11_FieldStringTokens;
extern const std::array<FieldStringToken, 16> Type12_FieldStringTokens;
extern const std::array<FieldStringToken, 13> Type13_FieldStringTokens;
extern const std::array<FieldStringToken, 15> Type14_FieldStringTokens;
extern const std::array<FieldStringToken, 6> TypeC0_FieldStringTokens;

}  // namespace Pemric_Private

#endif
