#include "host/frame/json_writer.h"

#include "host/frame/text.h"

namespace srvfw {

std::string JsonQuoted(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : ValidUtf8(text)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += kDigits[(c >> 4) & 0x0F];
                    out += kDigits[c & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

JsonWriter& JsonWriter::BeginObject() {
    Open('{');
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    Close('}');
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Open('[');
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    Close(']');
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    BeforeValue();
    mOut << JsonQuoted(key) << ':';
    if (mLayout == Layout::kIndented) mOut << ' ';
    mAfterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    BeforeValue();
    mOut << JsonQuoted(text);
    return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
    BeforeValue();
    mOut << value;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    mOut << (value ? "true" : "false");
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    mOut << "null";
    return *this;
}

JsonWriter& JsonWriter::StringOrNull(const std::optional<std::string>& text) {
    return text ? String(*text) : Null();
}

void JsonWriter::Finish() {
    mOut << '\n';
}

void JsonWriter::BeforeValue() {
    if (mAfterKey) {
        mAfterKey = false;
        return;
    }
    if (mEmpty.empty()) return;
    if (!mEmpty.back()) mOut << ',';
    mEmpty.back() = false;
    NewLine();
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    mOut << bracket;
    mEmpty.push_back(true);
}

void JsonWriter::Close(char bracket) {
    const bool empty = mEmpty.back();
    mEmpty.pop_back();
    if (!empty) NewLine();
    mOut << bracket;
}

void JsonWriter::NewLine() {
    if (mLayout == Layout::kOneLine) return;
    mOut << '\n' << std::string(2 * mEmpty.size(), ' ');
}

}  // namespace srvfw
