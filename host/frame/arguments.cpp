#include "host/frame/arguments.h"

#include "host/frame/failure.h"

namespace srvfw {

namespace {

bool IsOption(const std::string& word) {
    return word.size() > 2 && word.starts_with("--");
}

}  // namespace

std::size_t Arguments::OptionsEnd() const {
    for (std::size_t i = 0; i < mWords.size(); ++i) {
        if (mWords[i] == "--") return i;
    }
    return mWords.size();
}

bool Arguments::TakeFlag(std::string_view name) {
    bool found = false;
    for (std::size_t i = 0; i < OptionsEnd();) {
        if (mWords[i] == name) {
            if (found) throw Failure(ExitCode::kUsage, std::string(name) + " is given twice");
            found = true;
            mWords.erase(mWords.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (mWords[i].starts_with(std::string(name) + "=")) {
            throw Failure(ExitCode::kUsage, std::string(name) + " takes no value");
        } else {
            ++i;
        }
    }
    return found;
}

std::vector<std::string> Arguments::TakeValues(std::string_view name) {
    std::vector<std::string> values;
    const std::string prefix = std::string(name) + "=";
    for (std::size_t i = 0; i < OptionsEnd();) {
        std::size_t taken = 0;
        std::string found;
        if (mWords[i] == name) {
            // "--backup --dry-run" is a forgotten value, not a file named
            // "--dry-run"; such a value can still be given as --name=VALUE.
            if (i + 1 >= OptionsEnd() || IsOption(mWords[i + 1])) {
                throw Failure(ExitCode::kUsage, std::string(name) + " needs a value");
            }
            found = mWords[i + 1];
            taken = 2;
        } else if (mWords[i].starts_with(prefix)) {
            found = mWords[i].substr(prefix.size());
            taken = 1;
        }
        if (taken == 0) {
            ++i;
            continue;
        }
        values.push_back(found);
        const auto at = mWords.begin() + static_cast<std::ptrdiff_t>(i);
        mWords.erase(at, at + static_cast<std::ptrdiff_t>(taken));
    }
    return values;
}

std::optional<std::string> Arguments::TakeValue(std::string_view name) {
    std::vector<std::string> values = TakeValues(name);
    if (values.size() > 1) throw Failure(ExitCode::kUsage, std::string(name) + " is given twice");
    if (values.empty()) return std::nullopt;
    return std::move(values.front());
}

std::optional<std::string> Arguments::TakeWord() {
    const std::size_t end = OptionsEnd();
    for (std::size_t i = 0; i < mWords.size(); ++i) {
        if (i == end) continue;  // the "--" itself
        if (i < end && IsOption(mWords[i])) continue;
        std::string word = mWords[i];
        mWords.erase(mWords.begin() + static_cast<std::ptrdiff_t>(i));
        return word;
    }
    return std::nullopt;
}

std::string Arguments::TakeWord(std::string_view what) {
    std::optional<std::string> word = TakeWord();
    if (!word) throw Failure(ExitCode::kUsage, "missing " + std::string(what));
    return *word;
}

std::vector<std::string> Arguments::TakeWords() {
    std::vector<std::string> words;
    while (std::optional<std::string> word = TakeWord()) words.push_back(std::move(*word));
    return words;
}

void Arguments::ExpectNoMore() const {
    // An unknown option first: a word left over is often its value.
    const std::size_t end = OptionsEnd();
    for (std::size_t i = 0; i < end; ++i) {
        if (IsOption(mWords[i])) throw Failure(ExitCode::kUsage, "unknown option " + mWords[i]);
    }
    for (std::size_t i = 0; i < mWords.size(); ++i) {
        if (i != end) throw Failure(ExitCode::kUsage, "unexpected word \"" + mWords[i] + "\"");
    }
}

}  // namespace srvfw
