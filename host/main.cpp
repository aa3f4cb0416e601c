// srvfw: the host utility that loads the server firmware tools' libraries
// and works through their interface tables.
#include <unistd.h>

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "host/frame/document_output.h"
#include "host/frame/exit_codes.h"
#include "host/srvfw.h"
#include "hw/hw.h"

int main(int argc, char** argv) {
    // The libraries turn field bytes and paths into wide text with the
    // locale's multibyte encoding: the user's, so that UTF-8 survives.
    std::setlocale(LC_CTYPE, "");
    // "srvfw fru set ... | head -1": a reader that goes away costs messages,
    // never a write cut between two areas.
    hw::IgnoreBrokenPipe();
    const std::vector<std::string> args(argv + 1, argv + argc);
    srvfw::DocumentOutput results(srvfw::AsksForJson(args));
    const int code = srvfw::Run(args, results.Stream(), std::cerr, ::isatty(STDERR_FILENO) == 1);
    if (!results.Finish() && code == 0) {
        std::cerr << "srvfw: standard output could not be written\n";
        return static_cast<int>(srvfw::ExitCode::kFile);
    }
    return code;
}
