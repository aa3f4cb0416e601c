// Tests of the record model: a scratch directory for the debug log, the
// compiled English string table, and records made from crafted bytes.
#ifndef SRVFW_TESTS_PEMRIC_RECORD_FIXTURE_H
#define SRVFW_TESTS_PEMRIC_RECORD_FIXTURE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pemric/sdr.h"
#include "pemric/sdr_texts.h"
#include "scratch_dir.h"

using Bytes = std::vector<std::uint8_t>;

// A record of type with record ID 0102h, SDR version 51h and a body of
// bodyLength bytes counting 0, 1, 2, ... from the first body byte, so that
// every field shows which byte it came from; the length byte says
// bodyLength.
Bytes CountingRecord(std::uint8_t type, unsigned bodyLength);

class RecordTest : public ScratchDirTest {
  protected:
    void SetUp() override;

    // A new record of type; fails the test when the factory refuses it.
    std::unique_ptr<Pemric_Private::CSdr> Create(std::uint8_t type);
    // A record made and decoded from bytes (type from byte 3); fails the
    // test when decoding fails.
    std::unique_ptr<Pemric_Private::CSdr> Decoded(Bytes bytes);

    static std::wstring Value(Pemric_Private::CSdr& record, unsigned index);
    static std::wstring Title(Pemric_Private::CSdr& record, unsigned index);
    static std::wstring Location(Pemric_Private::CSdr& record, unsigned index);
    static std::wstring Name(Pemric_Private::CSdr& record);
    static std::wstring SdrTitle(Pemric_Private::CSdr& record);
    // The text with that ID in the compiled string file.
    std::wstring Text(unsigned stringId) const;

    static std::string Log() { return ReadFile("DBGLOG.txt"); }

    std::unique_ptr<CStringResource> mTable;
    Pemric_Private::CSdrTexts mTexts{mTable};
};

#endif
