// GoogleTest checks of a program run by TestSupport::RunProgram.
#pragma once

#include <gtest/gtest.h>

#include "Support/TestFiles.h"

// The run failed with exit status 1, printed exactly |message| on standard
// error and nothing on standard output.
#define EXPECT_FAILS_WITH(result, message)      \
  do {                                          \
    const TestSupport::RunResult r_ = (result); \
    EXPECT_EQ(r_.status, 1);                    \
    EXPECT_EQ(r_.err, message);                 \
    EXPECT_EQ(r_.out, "");                      \
  } while (0)
