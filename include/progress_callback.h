// The progress callback a host hands the IPMI libraries.
#ifndef SRVFW_INCLUDE_PROGRESS_CALLBACK_H
#define SRVFW_INCLUDE_PROGRESS_CALLBACK_H

enum PROGRESS_CALLBACK_TYPE : unsigned {
    PROGRESS_LOAD = 0,     // a load finished: two counts
    PROGRESS_MESSAGE = 1,  // a message line, with two zeros
    PROGRESS_COUNT = 2,    // step n of total
    PROGRESS_PERCENT = 3,  // a labelled operation, the percentage first
};

// The returned value is ignored by every library.
using PROGRESS_CALLBACK = unsigned (*)(PROGRESS_CALLBACK_TYPE type, const wchar_t* text,
                                       unsigned first, unsigned second);

#endif
