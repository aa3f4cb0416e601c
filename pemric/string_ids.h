// The IDs in Pemric.str that the record model names in code. The tables of
// codes and of field titles and locations carry their own IDs as data.
#ifndef SRVFW_PEMRIC_STRING_IDS_H
#define SRVFW_PEMRIC_STRING_IDS_H

namespace Pemric_Private {

// Names of the record types in type order: the first one, then one per type.
inline constexpr unsigned kTextFirstTypeName = 4;
inline constexpr unsigned kTextUnknownCode = 158;
inline constexpr unsigned kTextReservedCode = 203;
inline constexpr unsigned kTextReservedByte = 335;
inline constexpr unsigned kTextZeroMeansUnspecified = 336;
inline constexpr unsigned kTextNoSuchField = 580;

// Titles of the three mask fields of a full sensor, which depend on whether
// the sensor has thresholds (then the masks say which thresholds exist).
inline constexpr unsigned kTitleLowerThresholdMask = 172;
inline constexpr unsigned kTitleUpperThresholdMask = 173;
inline constexpr unsigned kTitleSettableReadableMask = 174;
inline constexpr unsigned kTitleAssertionMask = 175;
inline constexpr unsigned kTitleDeassertionMask = 176;
inline constexpr unsigned kTitleDiscreteReadingMask = 177;

// Formats of names: a device's text, its ID string, the record ID text; or
// without the ID string.
inline constexpr unsigned kFormatDeviceNameWithId = 540;
inline constexpr unsigned kFormatDeviceName = 541;
// A sensor's type text, ID string, record ID text and sensor number text;
// or without the ID string.
inline constexpr unsigned kFormatSensorNameWithId = 543;
inline constexpr unsigned kFormatSensorName = 544;
// Names of the record types without text of their own: the record ID text.
inline constexpr unsigned kFormatEntityAssociationName = 545;
inline constexpr unsigned kFormatDeviceRelativeAssociationName = 546;
inline constexpr unsigned kFormatChannelInfoName = 547;
inline constexpr unsigned kFormatOemName = 548;

// Value formats: a code and its text (two spellings), a byte of a dump,
// one value, one 16-bit value, a manufacturer ID.
inline constexpr unsigned kFormatCodeWithText = 549;
inline constexpr unsigned kFormatCodeAndText = 550;
inline constexpr unsigned kFormatDumpByte = 555;
inline constexpr unsigned kFormatValue = 554;
inline constexpr unsigned kFormatWord = 556;
inline constexpr unsigned kFormatManufacturerId = 557;

// What GetSdrTitle puts before the record's own words, per record kind.
inline constexpr unsigned kTextFullSensorTitle = 624;
inline constexpr unsigned kTextSensorTitle = 625;
inline constexpr unsigned kTextEntityAssociationTitle = 626;
inline constexpr unsigned kTextDeviceRelativeAssociationTitle = 627;
inline constexpr unsigned kTextGenericLocatorTitle = 628;
inline constexpr unsigned kTextFruLocatorTitle = 629;
inline constexpr unsigned kTextControllerLocatorTitle = 630;
inline constexpr unsigned kTextControllerConfirmationTitle = 631;
inline constexpr unsigned kTextChannelInfoTitle = 632;
inline constexpr unsigned kTextOemTitle = 633;

}  // namespace Pemric_Private

#endif
