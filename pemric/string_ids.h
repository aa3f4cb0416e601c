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

// The SDR file. Keywords the reader looks for: the comment marker, the ten
// header keywords in file order, the end keyword, the record's type, tag and
// length keywords and the data-section marker that ends a record's tags.
inline constexpr unsigned kFileCommentMarker = 581;
inline constexpr unsigned kFileHeaderKeywords[] = {590, 591, 592, 593, 594,
                                                   596, 597, 598, 599, 600};
inline constexpr unsigned kFileEndKeyword = 595;
inline constexpr unsigned kFileRecordTypeKeyword = 601;
inline constexpr unsigned kFileRecordLengthKeyword = 602;
inline constexpr unsigned kFileTagKeyword = 660;
inline constexpr unsigned kFileDataMarker = 661;
// What only people read: the header's comments, the frame of a type's
// comment, a record's headings, the fixed header values.
inline constexpr unsigned kFileTitleComment = 582;
inline constexpr unsigned kFileSummaryComment = 583;
inline constexpr unsigned kFileTypeCommentFrame = 584;
inline constexpr unsigned kFileRecordHeaderHeading = 586;
inline constexpr unsigned kFileRecordBodyHeading = 587;
inline constexpr unsigned kFileRecordSecondHeading = 588;
inline constexpr unsigned kFileByteOrderValue = 603;
inline constexpr unsigned kFileFormatValue = 604;
inline constexpr unsigned kFileDefaultVersionValue = 605;
inline constexpr unsigned kFileProducerValue = 606;
inline constexpr unsigned kFileEncodingValue = 608;
// Line formats.
inline constexpr unsigned kFileFramedComment = 662;
inline constexpr unsigned kFileTypeComment = 663;
inline constexpr unsigned kFileKeywordText = 664;
inline constexpr unsigned kFileKeywordByte = 665;
inline constexpr unsigned kFileKeywordWord = 666;
inline constexpr unsigned kFileDataByte = 667;
inline constexpr unsigned kFileDataWord = 668;
inline constexpr unsigned kFileDataThreeBytes = 669;
inline constexpr unsigned kFileDataText = 670;
inline constexpr unsigned kFileDataHexList = 671;
inline constexpr unsigned kFileHeading = 672;
inline constexpr unsigned kFileSeparator = 673;
// Titles of the record's header bytes come from its field table; these two
// title its trailing text or bytes.
inline constexpr unsigned kTitleRecordId = 159;
inline constexpr unsigned kTitleSdrVersion = 160;
inline constexpr unsigned kTitleRecordType = 161;
inline constexpr unsigned kTitleRecordLength = 162;
inline constexpr unsigned kTitleIdString = 206;
inline constexpr unsigned kTitleOemDataBytes = 267;
// Last-error messages.
inline constexpr unsigned kMessageCannotOpenFile = 641;
inline constexpr unsigned kMessageReadError = 654;
inline constexpr unsigned kMessageKeywordMissing = 655;
inline constexpr unsigned kMessageUnterminatedString = 656;
inline constexpr unsigned kMessageByteCountMismatch = 657;
inline constexpr unsigned kMessageTypeMismatch = 658;
inline constexpr unsigned kMessageUnsupportedType = 659;
inline constexpr unsigned kMessageVersionNotFound = 634;
inline constexpr unsigned kMessagePackageVersionNotFound = 635;
// The text of a failed commit: the repository may not hold what it held.
inline constexpr unsigned kMessageCommitFailed = 648;

// The keyword before the package version in an OEM record's text (the SDR
// version's keyword is the title of that field, kTitleSdrVersion).
inline constexpr unsigned kPackageVersionKeyword = 636;

// Progress: reading the repository (counted), writing records (heading,
// then counted), saving a file, erasing the repository, reading back.
inline constexpr unsigned kProgressReadingRecords = 642;
inline constexpr unsigned kProgressWritingRecords = 644;
inline constexpr unsigned kProgressSavingFile = 645;
inline constexpr unsigned kProgressRecordWritten = 649;
inline constexpr unsigned kProgressClearing = 650;
inline constexpr unsigned kProgressReadingBack = 651;

// The repository's properties: titles, and the text of a full repository.
inline constexpr unsigned kTitleRepositoryVersion = 19;
inline constexpr unsigned kTitleRecordCount = 20;
inline constexpr unsigned kTitleAdditionTime = 21;
inline constexpr unsigned kTitleEraseTime = 22;
inline constexpr unsigned kTitleFreeSpace = 23;
inline constexpr unsigned kTitleRepositoryFull = 24;
inline constexpr unsigned kTextRepositoryFull = 29;
// Timestamps: none given, one counted from the BMC's start, a date format
// (month, day, year, hour, minute, second).
inline constexpr unsigned kTextNoTimestamp = 561;
inline constexpr unsigned kTextTimestampSinceStart = 562;
inline constexpr unsigned kFormatTimestamp = 563;

}  // namespace Pemric_Private

#endif
