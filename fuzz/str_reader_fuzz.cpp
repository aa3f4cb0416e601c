// Feeds arbitrary bytes to the ".str" reader as a string file: load it, read
// every string one by one, then all at once, then one by one again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "bmc/string_resource.h"

namespace {

// One file per fuzzing process, rewritten for every input and removed when
// the process ends.
class InputFile {
  public:
    InputFile() {
        char name[] = "/tmp/str-reader-fuzz-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) std::abort();
        ::close(fd);
        mPath = name;
        mWidePath.assign(mPath.begin(), mPath.end());
    }
    ~InputFile() { ::unlink(mPath.c_str()); }

    const std::string& path() const { return mPath; }
    const std::wstring& widePath() const { return mWidePath; }

  private:
    std::string mPath;
    std::wstring mWidePath;
};

const InputFile& Input() {
    static const InputFile input;
    return input;
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(Input().path().c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// The count is known only to the file; the reader accepts no more strings
// than the file has room for table entries.
std::uint32_t CountOf(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    return data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24;
}

void ReadAll(CStringResource& table, std::uint32_t count) {
    for (std::uint32_t i = 0; i <= count; ++i) {
        if (const wchar_t* text = table.GetString(i)) {
            volatile std::size_t length = std::wcslen(text);
            (void)length;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!WriteInput(data, size)) return 0;
    CStringResource table;
    if (table.Initialize(Input().widePath().c_str(), 0) != STR_SUCCESS) return 0;
    const std::uint32_t count = CountOf(data, size);
    ReadAll(table, count);
    table.ReleaseAll();
    if (table.CacheAll() == STR_SUCCESS) ReadAll(table, count);
    table.ReleaseAll();
    ReadAll(table, count);
    return 0;
}
