#include <gtest/gtest.h>

#include "support/run_program.h"

using namespace quarnel::test;

TEST(Bytediff, GreetsAndEndsWithoutInput) {
    TempDir dir;
    auto run = run_program(bytediff_path(), {}, "", dir.path());
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run.output.find("Hello!\r\n"), std::string::npos);
}
