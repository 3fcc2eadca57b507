// Every test program: GoogleTest with the log on standard error, so failures show what the engine said.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Core/Log.h"

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    testing::InitGoogleTest(&argc, argv);
    Meridian::Log::Open(">console");
    int result = RUN_ALL_TESTS();
    Meridian::Log::Close();
    return result;
}
