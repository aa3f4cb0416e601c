// The words of a command line, taken option by option: the frame takes its
// own options first (wherever they stand), then each command takes its
// options and positional words, and whatever is left is an error the user
// is told about. Options are "--name VALUE" or "--name=VALUE"; after "--"
// every word is positional.
#ifndef SRVFW_HOST_FRAME_ARGUMENTS_H
#define SRVFW_HOST_FRAME_ARGUMENTS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace srvfw {

class Arguments {
  public:
    explicit Arguments(std::vector<std::string> words) : mWords(std::move(words)) {}

    // Takes "--name"; a second one is a usage error.
    bool TakeFlag(std::string_view name);
    // Takes "--name VALUE" or "--name=VALUE"; a missing value or a second
    // one is a usage error.
    std::optional<std::string> TakeValue(std::string_view name);
    // Takes every "--name VALUE" or "--name=VALUE", in their order.
    std::vector<std::string> TakeValues(std::string_view name);
    // Takes the next positional word, if any (options stay for later).
    std::optional<std::string> TakeWord();
    // Takes the next positional word; a usage error naming `what` without one.
    std::string TakeWord(std::string_view what);
    // Takes every positional word that is left.
    std::vector<std::string> TakeWords();
    // A usage error when anything was not taken.
    void ExpectNoMore() const;

  private:
    // Index of the first "--" (or the end): options stand before it.
    std::size_t OptionsEnd() const;

    std::vector<std::string> mWords;
};

}  // namespace srvfw

#endif
