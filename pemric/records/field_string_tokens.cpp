#include "pemric/records/field_string_tokens.h"

#include "pemric/records/sdr_type02.h"

namespace Pemric_Private {

// One row per field, in field number order: {title ID, location ID}. The
// location texts name the record bytes as the IPMI record tables number them
// (from 1), so that a reader can find the field there; a field that shares
// its byte with another names its bits. Titles and locations are shared
// between types wherever the field means the same.
// Type 01h full sensor.
const std::array<FieldStringToken, 47> FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {163, 272},  // 4 sensor owner ID
    {164, 273},  // 5 sensor owner LUN
    {165, 274},  // 6 sensor number
    {166, 275},  // 7 entity ID
    {167, 276},  // 8 entity instance
    {168, 277},  // 9 sensor initialization
    {169, 278},  // 10 sensor capabilities
    {170, 279},  // 11 sensor type
    {171, 280},  // 12 event/reading type code
    {175, 315},  // 13 assertion event mask (title 172 with thresholds)
    {176, 316},  // 14 deassertion event mask (title 173 with thresholds)
    {177, 317},  // 15 discrete reading mask (title 174 with thresholds)
    {178, 287},  // 16 sensor units 1
    {179, 288},  // 17 base unit
    {180, 289},  // 18 modifier unit
    {181, 290},  // 19 linearization
    {182, 318},  // 20 M
    {183, 319},  // 21 tolerance
    {184, 320},  // 22 B
    {185, 321},  // 23 accuracy
    {186, 322},  // 24 accuracy exponent
    {187, 323},  // 25 reserved bits
    {188, 324},  // 26 R exponent
    {189, 325},  // 27 B exponent
    {190, 297},  // 28 analog characteristic flags
    {191, 298},  // 29 nominal reading
    {192, 299},  // 30 normal maximum
    {193, 300},  // 31 normal minimum
    {194, 301},  // 32 sensor maximum reading
    {195, 302},  // 33 sensor minimum reading
    {196, 303},  // 34 upper non-recoverable threshold
    {197, 304},  // 35 upper critical threshold
    {198, 305},  // 36 upper non-critical threshold
    {199, 306},  // 37 lower non-recoverable threshold
    {200, 307},  // 38 lower critical threshold
    {201, 308},  // 39 lower non-critical threshold
    {202, 309},  // 40 positive-going hysteresis
    {205, 310},  // 41 negative-going hysteresis
    {187, 311},  // 42 reserved
    {187, 312},  // 43 reserved
    {207, 313},  // 44 OEM
    {208, 314},  // 45 ID string type/length
    {206, 326},  // 46 ID string
}};

// Type 02h compact sensor.
const std::array<FieldStringToken, 28> CSdrType02::FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {163, 272},  // 4 sensor owner ID
    {164, 273},  // 5 sensor owner LUN
    {165, 274},  // 6 sensor number
    {166, 275},  // 7 entity ID
    {167, 276},  // 8 entity instance
    {168, 277},  // 9 sensor initialization
    {169, 278},  // 10 sensor capabilities
    {170, 279},  // 11 sensor type
    {171, 280},  // 12 event/reading type code
    {175, 315},  // 13 assertion event mask
    {176, 316},  // 14 deassertion event mask
    {177, 317},  // 15 discrete reading mask
    {178, 287},  // 16 sensor units 1
    {179, 288},  // 17 base unit
    {180, 289},  // 18 modifier unit
    {209, 327},  // 19 sensor record sharing
    {202, 292},  // 20 positive-going hysteresis
    {205, 293},  // 21 negative-going hysteresis
    {187, 294},  // 22 reserved
    {187, 295},  // 23 reserved
    {187, 296},  // 24 reserved
    {207, 297},  // 25 OEM
    {208, 298},  // 26 ID string type/length
    {206, 328},  // 27 ID string
}};

// Type 03h event-only sensor.
const std::array<FieldStringToken, 16> Type03_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {163, 272},  // 4 sensor owner ID
    {164, 273},  // 5 sensor owner LUN
    {165, 274},  // 6 sensor number
    {166, 275},  // 7 entity ID
    {167, 276},  // 8 entity instance
    {170, 277},  // 9 sensor type
    {171, 278},  // 10 event/reading type code
    {209, 329},  // 11 sensor record sharing
    {187, 281},  // 12 reserved
    {207, 282},  // 13 OEM
    {206, 330},  // 14 ID string
    {208, 283},  // 15 ID string type/length
}};

// Type 08h entity association.
const std::array<FieldStringToken, 15> Type08_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {210, 272},  // 4 container entity ID
    {211, 273},  // 5 container entity instance
    {212, 274},  // 6 flags
    {213, 275},  // 7 contained entity 1 ID
    {214, 276},  // 8 contained entity 1 instance
    {215, 277},  // 9 contained entity 2 ID
    {216, 278},  // 10 contained entity 2 instance
    {217, 279},  // 11 contained entity 3 ID
    {218, 280},  // 12 contained entity 3 instance
    {219, 281},  // 13 contained entity 4 ID
    {220, 282},  // 14 contained entity 4 instance
}};

// Type 09h device-relative entity association.
const std::array<FieldStringToken, 31> Type09_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {210, 272},  // 4 container entity ID
    {211, 273},  // 5 container entity instance
    {221, 274},  // 6 container device address
    {222, 275},  // 7 container device channel
    {212, 276},  // 8 flags
    {223, 277},  // 9 contained device 1 address
    {224, 278},  // 10 contained device 1 channel
    {213, 279},  // 11 contained entity 1 ID
    {214, 280},  // 12 contained entity 1 instance
    {225, 281},  // 13 contained device 2 address
    {226, 282},  // 14 contained device 2 channel
    {215, 283},  // 15 contained entity 2 ID
    {216, 284},  // 16 contained entity 2 instance
    {227, 285},  // 17 contained device 3 address
    {228, 286},  // 18 contained device 3 channel
    {217, 287},  // 19 contained entity 3 ID
    {218, 288},  // 20 contained entity 3 instance
    {229, 289},  // 21 contained device 4 address
    {230, 290},  // 22 contained device 4 channel
    {219, 291},  // 23 contained entity 4 ID
    {220, 292},  // 24 contained entity 4 instance
    {187, 293},  // 25 reserved
    {187, 294},  // 26 reserved
    {187, 295},  // 27 reserved
    {187, 296},  // 28 reserved
    {187, 297},  // 29 reserved
    {187, 298},  // 30 reserved
}};

// Type 10h generic device locator.
const std::array<FieldStringToken, 16> Type10_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {231, 272},  // 4 device access address
    {232, 273},  // 5 device slave address
    {233, 274},  // 6 access LUN / bus ID
    {234, 275},  // 7 address span
    {187, 276},  // 8 reserved
    {235, 277},  // 9 device type
    {236, 278},  // 10 device type modifier
    {166, 279},  // 11 entity ID
    {167, 280},  // 12 entity instance
    {207, 281},  // 13 OEM
    {208, 282},  // 14 ID string type/length
    {206, 331},  // 15 ID string
}};

// Type 11h FRU device locator.
const std::array<FieldStringToken, 16> Type11_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {231, 272},  // 4 device access address
    {237, 273},  // 5 FRU device ID / slave address
    {238, 274},  // 6 logical-physical / access LUN / bus ID
    {239, 275},  // 7 channel number
    {187, 276},  // 8 reserved
    {235, 277},  // 9 device type
    {236, 278},  // 10 device type modifier
    {240, 279},  // 11 FRU entity ID
    {241, 280},  // 12 FRU entity instance
    {207, 281},  // 13 OEM
    {208, 282},  // 14 ID string type/length
    {206, 331},  // 15 ID string
}};

// Type 12h management controller device locator.
const std::array<FieldStringToken, 16> Type12_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {232, 272},  // 4 device slave address
    {239, 273},  // 5 channel number
    {242, 274},  // 6 power state notification / global initialization
    {243, 275},  // 7 device capabilities
    {187, 276},  // 8 reserved
    {187, 277},  // 9 reserved
    {187, 278},  // 10 reserved
    {166, 279},  // 11 entity ID
    {167, 280},  // 12 entity instance
    {207, 281},  // 13 OEM
    {208, 282},  // 14 ID string type/length
    {206, 331},  // 15 ID string
}};

// Type 13h management controller confirmation.
const std::array<FieldStringToken, 13> Type13_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {232, 272},  // 4 device slave address
    {244, 273},  // 5 device ID
    {245, 274},  // 6 channel number / device revision
    {246, 275},  // 7 firmware revision 1
    {247, 276},  // 8 firmware revision 2
    {248, 277},  // 9 IPMI version
    {249, 332},  // 10 manufacturer ID
    {250, 315},  // 11 product ID
    {251, 331},  // 12 device GUID
}};

// Type 14h BMC message channel info.
const std::array<FieldStringToken, 15> Type14_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {252, 272},  // 4 channel 0 info
    {253, 273},  // 5 channel 1 info
    {254, 274},  // 6 channel 2 info
    {255, 275},  // 7 channel 3 info
    {256, 276},  // 8 channel 4 info
    {257, 277},  // 9 channel 5 info
    {258, 278},  // 10 channel 6 info
    {259, 279},  // 11 channel 7 info
    {260, 280},  // 12 messaging interrupt type
    {261, 281},  // 13 event message buffer interrupt type
    {187, 282},  // 14 reserved
}};

// Type C0h OEM.
const std::array<FieldStringToken, 6> TypeC0_FieldStringTokens = {{
    {159, 268},  // 0 record ID
    {160, 269},  // 1 SDR version
    {161, 270},  // 2 record type
    {162, 271},  // 3 record length
    {249, 333},  // 4 manufacturer ID
    {262, 334},  // 5 OEM data
}};

}  // namespace Pemric_Private
