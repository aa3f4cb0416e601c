// Tests of the SDR file: records of every type built from crafted bytes,
// whole files saved the way the data set saves them, and loading a file
// with the last-error text it gives.
#ifndef SRVFW_TESTS_PEMRIC_SDR_FILE_FIXTURE_H
#define SRVFW_TESTS_PEMRIC_SDR_FILE_FIXTURE_H

#include <string>
#include <vector>

#include "pemric/sdr_file_reader.h"
#include "pemric/sdr_file_writer.h"
#include "record_fixture.h"

struct CapturedError : Pemric_Private::CLastErrorSink {
    void SetLastErrorMessage(const std::wstring& text) override { this->text = text; }
    std::wstring text;
};

// A record of type whose body is fixedLength bytes counting from 0, the last
// of them the ID string's type/length byte, then the ID string.
Bytes RecordWithIdString(std::uint8_t type, unsigned fixedLength, const std::string& id);
// An OEM record of manufacturer 000157h with data.
Bytes OemRecord(const std::string& data);

class SdrFileTest : public RecordTest {
  protected:
    // The header, then per type in type order a comment and its records,
    // then the end line, as a data set saves them.
    void Save(const std::vector<Pemric_Private::CSdr*>& records);
    unsigned Load(const char* path, Pemric_Private::SdrRecordLists& lists);
    // Loads a file of exactly text.
    unsigned LoadText(const std::string& text, Pemric_Private::SdrRecordLists& lists);
    // The header this library writes, to build crafted files on.
    std::string HeaderText();

    static constexpr const wchar_t* kSavedPath = L"saved.sdr";
    CapturedError mError;
    Pemric_Private::CSdrFileData mFileData;
};

#endif
