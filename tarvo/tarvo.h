// tarvo, the BIOS flash utility: one run from the command line to one exit
// code. Run returns the code rather than exiting, so that the clean-up runs
// on every path and the program can be driven in-process.
#ifndef SRVFW_TARVO_TARVO_H
#define SRVFW_TARVO_TARVO_H

namespace tarvo {

int Run(int argc, const char* const* argv);

}  // namespace tarvo

#endif
