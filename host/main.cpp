// srvfw: the host utility that loads the server firmware tools' libraries
// and works through their interface tables.
#include <unistd.h>

#include <clocale>
#include <iostream>

#include "host/srvfw.h"

int main(int argc, char** argv) {
    // The libraries turn field bytes and paths into wide text with the
    // locale's multibyte encoding: the user's, so that UTF-8 survives.
    std::setlocale(LC_CTYPE, "");
    const int code =
        srvfw::Run({argv + 1, argv + argc}, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
    std::cout.flush();
    return code;
}
