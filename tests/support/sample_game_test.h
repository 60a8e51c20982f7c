// A test that starts from the sample game written into a folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "samples/sample_game.h"
#include "support/run_program.h"

namespace quarnel::test {

class SampleGameTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string game() const { return dir.file("game"); }
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(write_sample_game(game(), make_sample_game(), error)) << error;
    }
};

}  // namespace quarnel::test
