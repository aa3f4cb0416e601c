// librask's form of the debug log: SetLibDebugLevel hands the level back.
#include <gtest/gtest.h>

#include "bmc/debug_log.h"

namespace {

TEST(RaskDebugLevel, SetLibDebugLevelReturnsTheNewLevel) {
    for (const unsigned level : {0u, 2u, 3u, 1u}) {
        EXPECT_EQ(SetLibDebugLevel(level), level);
        EXPECT_EQ(LIBDBG_DEBUG_LEVEL, level);
    }
}

}  // namespace
