#include "host/frame/progress.h"

#include <algorithm>
#include <sstream>

#include "host/frame/json_writer.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

constexpr unsigned kBarWidth = 30;

ProgressDisplay*& Current() {
    static ProgressDisplay* current = nullptr;
    return current;
}

unsigned PercentOf(unsigned step, unsigned total) {
    if (total == 0) return 0;
    return static_cast<unsigned>(std::min<unsigned long long>(100, 100ULL * step / total));
}

void JsonEvent(std::ostream& out, PROGRESS_CALLBACK_TYPE type, const std::string& text,
               unsigned first, unsigned second) {
    JsonWriter json(out, JsonWriter::Layout::kOneLine);
    json.BeginObject();
    switch (type) {
        case PROGRESS_LOAD:
            json.Key("progress").String("load").Key("text").String(text);
            json.Key("counts").BeginArray().Number(first).Number(second).EndArray();
            break;
        case PROGRESS_COUNT:
            json.Key("progress").String("count").Key("text").String(text);
            json.Key("step").Number(first).Key("total").Number(second);
            break;
        case PROGRESS_PERCENT:
            json.Key("progress").String("percent").Key("text").String(text);
            json.Key("percent").Number(first);
            break;
        default:
            json.Key("progress").String("message").Key("text").String(text);
    }
    json.EndObject().Finish();
}

}  // namespace

bool OnlyMovesTheCursor(const wchar_t* text) {
    if (text == nullptr) return false;
    const std::wstring_view words(text);
    return words.find_first_of(L"\r\n") != std::wstring_view::npos &&
           words.find_first_not_of(L" \r\n") == std::wstring_view::npos;
}

std::string ProgressBar(std::string_view label, unsigned percent, std::string_view counts) {
    percent = std::min(percent, 100u);
    const unsigned filled = percent * kBarWidth / 100;
    std::ostringstream bar;
    bar << label << (label.empty() ? "" : " ") << '[' << std::string(filled, '#')
        << std::string(kBarWidth - filled, '-') << "] ";
    bar.width(3);
    bar << percent << '%';
    if (!counts.empty()) bar << ' ' << counts;
    return bar.str();
}

ProgressDisplay::~ProgressDisplay() {
    EndBar();
}

void ProgressDisplay::Report(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned first,
                             unsigned second) {
    if (type == PROGRESS_MESSAGE && OnlyMovesTheCursor(text)) {
        if (!mJson) EndBar();
        return;
    }
    const std::string words = Printable(ToUtf8(text));
    if (type == PROGRESS_COUNT) Complete(words, PercentOf(first, second));
    if (type == PROGRESS_PERCENT) Complete(words, first);
    if (mJson) {
        JsonEvent(mOut, type, words, first, second);
        return;
    }
    switch (type) {
        case PROGRESS_COUNT:
            Bar(words, PercentOf(first, second),
                std::to_string(first) + "/" + std::to_string(second));
            break;
        case PROGRESS_PERCENT:
            Bar(words, first, {});
            break;
        default:
            Line(words);
    }
}

void ProgressDisplay::Line(const std::string& line) {
    EndBar();
    mShown.reset();
    mOut << line << '\n' << std::flush;
}

void ProgressDisplay::Complete(const std::string& label, unsigned percent) {
    if (percent < 100 || (!mCompleted.empty() && mCompleted.back() == label)) return;
    mCompleted.push_back(label);
}

void ProgressDisplay::Status(const wchar_t* text) {
    std::wstring line(text != nullptr ? text : L"");
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
    while (!line.empty() && (line.front() == L'\r' || line.front() == L'\n')) line.erase(0, 1);
    const std::string words = Printable(ToUtf8(line));
    if (mJson) {
        JsonEvent(mOut, PROGRESS_MESSAGE, words, 0, 0);
        return;
    }
    if (!mTerminal) {
        std::string shape;
        for (const char c : words) {
            if (std::string_view("0123456789|/-\\").find(c) == std::string_view::npos) shape += c;
        }
        if (shape == mStatusWords) return;
        mStatusWords = shape;
        mOut << words << '\n' << std::flush;
        return;
    }
    if (mBarOpen && !mOpenLabel.empty()) EndBar();
    // Blanks over what a longer line before left.
    mOut << '\r' << mOpenWidth << '\r' << words << std::flush;
    mOpenWidth.assign(words.size(), ' ');
    mOpenLabel.clear();
    mBarOpen = true;
}

void ProgressDisplay::Bar(const std::string& label, unsigned percent, const std::string& counts) {
    const std::string bar = ProgressBar(label, percent, counts);
    if (mTerminal) {
        // Each label keeps a line of its own: a phase that stopped short
        // stays to be seen above the next one.
        if (mBarOpen && mOpenLabel != label) EndBar();
        mOut << '\r' << bar << std::flush;
        mBarOpen = true;
        mOpenLabel = label;
        mOpenWidth.assign(bar.size(), ' ');
        if (percent >= 100) EndBar();
        return;
    }
    // Off a terminal (a log, a pipe) a redrawn bar would be hundreds of
    // lines: show it when it reaches the next tenth.
    std::pair<std::string, unsigned> shown{label, std::min(percent, 100u) / 10};
    if (mShown == shown) return;
    mShown = std::move(shown);
    mOut << bar << '\n' << std::flush;
}

void ProgressDisplay::EndBar() {
    mStatusWords.clear();
    if (!mBarOpen) return;
    mOut << '\n' << std::flush;
    mBarOpen = false;
    mOpenLabel.clear();
    mOpenWidth.clear();
}

unsigned ProgressCallback(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned first,
                          unsigned second) {
    if (ProgressDisplay* display = Current()) display->Report(type, text, first, second);
    return 0;
}

void ShowStatusLine(const wchar_t* text) {
    if (ProgressDisplay* display = Current()) display->Status(text);
}

ProgressTarget::ProgressTarget(ProgressDisplay& display) : mPrevious(Current()) {
    Current() = &display;
}

ProgressTarget::~ProgressTarget() {
    Current() = mPrevious;
}

}  // namespace srvfw
