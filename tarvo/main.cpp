#include "tarvo/tarvo.h"

int main(int argc, char** argv) {
    return tarvo::Run(argc, argv);
}
