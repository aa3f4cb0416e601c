// The records of one of the library's data sets as srvfw shows and compares
// them: read list by list in the library's type order, each with its bytes,
// its tags and, when asked for, its fields and whether a commit would write
// it.
#ifndef SRVFW_HOST_SDR_RECORDS_H
#define SRVFW_HOST_SDR_RECORDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "host/sdr/library.h"

namespace srvfw {

// The library's two data sets.
enum class DataSet {
    kSystem,  // the BMC's repository
    kFile,    // an SDR file
};

struct SdrField {
    std::string title;
    std::string value;
    std::string location;
};

struct SdrRecord {
    unsigned list = 0;      // the type list (SDR_TYPE_LIST) that holds it
    unsigned position = 0;  // its index in that list
    unsigned type = 0;      // the record type byte
    std::string typeName;   // the name of its type list
    std::string name;
    std::vector<std::uint8_t> bytes;  // header and body, as read
    std::vector<std::string> tags;
    std::vector<SdrField> fields;  // only when asked for
    bool committed = true;         // only asked for in the file set

    // The record ID of its header, LS byte first; 0 for a record too short
    // to have one.
    unsigned Id() const;
};

struct RecordDetail {
    bool fields = false;
    bool committed = false;  // whether a commit with the tags set now writes it
};

// Every record of the set, list by list in type order. The set must be
// loaded.
std::vector<SdrRecord> ReadRecords(SdrLibrary& library, DataSet set, RecordDetail detail);

// The name of each type list, in type order.
std::vector<std::string> TypeListNames(SdrLibrary& library);

// A library text as srvfw shows it: blanks at its end dropped.
std::string LibraryText(const wchar_t* text);

}  // namespace srvfw

#endif
