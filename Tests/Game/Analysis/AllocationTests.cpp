// The analysis steps allocate nothing once running: every allocation here passes through the counting new below.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "Analysis/TrackGen.h"
#include "Support/OggFiles.h"
#include "Support/TestUtil.h"

namespace {
bool s_Counting = false;
long s_Allocations = 0;
}  // namespace

// GCC cannot see that this delete only frees what the operator new above took from malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    if (s_Counting) ++s_Allocations;
    void* block = std::malloc(size ? size : 1);
    if (!block) std::abort();
    return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }

using namespace Meridian;

TEST(TrackGen, StepsAllocateNothingOnceRunning) {
    ::Test::TempDir dir;
    std::vector<int16_t> left(44100 * 4, 0), right(44100 * 4, 0);
    ::Test::AddTone(left, 0, left.size(), 700.0, 9000.0);
    ::Test::AddTone(right, 30000, right.size() - 30000, 3000.0, 9000.0);
    const std::string stereo = dir.File("stereo.ogg"), mono = dir.File("mono.ogg");
    ASSERT_TRUE(::Test::WriteOgg(stereo, ::Test::Interleave(left, right), 44100, 2));
    ASSERT_TRUE(::Test::WriteOgg(mono, left, 44100, 1));

    for (const std::string& song : {stereo, mono}) {
        Ref<TrackGen> gen = New<TrackGen>(song);
        ASSERT_EQ(0, gen->Init());
        ASSERT_TRUE(gen->Step());
        s_Allocations = 0;
        s_Counting = true;
        int steps = 0;
        while (steps < 300 && gen->Step()) ++steps;
        s_Counting = false;
        EXPECT_EQ(300, steps) << song;
        EXPECT_EQ(0, s_Allocations) << song;
    }
}
