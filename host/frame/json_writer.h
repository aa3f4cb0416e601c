// Writes JSON for scripts: strings escaped and always valid UTF-8, commas
// and nesting kept by the writer, either indented (a command's result) or
// on one line (one progress event a line).
#ifndef SRVFW_HOST_FRAME_JSON_WRITER_H
#define SRVFW_HOST_FRAME_JSON_WRITER_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace srvfw {

// The text as a JSON string literal, quotes included.
std::string JsonQuoted(std::string_view text);

class JsonWriter {
  public:
    enum class Layout { kIndented, kOneLine };
    explicit JsonWriter(std::ostream& out, Layout layout = Layout::kIndented)
        : mOut(out), mLayout(layout) {}

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The key of the next value inside an object.
    JsonWriter& Key(std::string_view key);

    JsonWriter& String(std::string_view text);
    JsonWriter& Number(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    JsonWriter& StringOrNull(const std::optional<std::string>& text);

    // Ends the document with a line end; the writer is then done.
    void Finish();

  private:
    void BeforeValue();
    void Open(char bracket);
    void Close(char bracket);
    void NewLine();

    std::ostream& mOut;
    Layout mLayout;
    std::vector<bool> mEmpty;  // per open bracket: nothing in it yet
    bool mAfterKey = false;
};

}  // namespace srvfw

#endif
