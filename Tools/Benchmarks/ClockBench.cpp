// Music clock benchmark: plays a song through the SDL mixer (the sound card,
// or SDL_AUDIODRIVER=dummy) and samples the music source's clock every tenth
// of a millisecond against the stream (the frames handed to the mixer) and
// the wall clock. Prints how far the clock trails the stream, its largest step
// and any step back, and how far it drifts from the wall clock. At each
// mixer call (the first sample that sees more frames mixed) it compares the
// clock with the stream's position as the mixer reports it: the frames
// handed over less the two chunks queued ahead of the speaker (the one just
// filled and the one playing); between calls that position is a step, the
// clock a ramp.
//
//     skyrail-bench-clock [--buffer FRAMES] [--seconds S] [song]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Audio/AudioPlayerSDL.h"
#include "Core/Log.h"
#include "Core/System.h"

using namespace Meridian;

int main(int argc, char** argv) {
    std::string song = "./Music/SkyRail Demo.ogg";
    int buffer = 1024;
    double seconds = 10.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--buffer" && i + 1 < argc)
            buffer = std::atoi(argv[++i]);
        else if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else
            song = arg;
    }
    Log::Open("/dev/null");
    System::Init();
    Ref<AudioPlayerSDL> player = New<AudioPlayerSDL>();
    player->SetChunkSize(buffer);
    if (!player->Init()) {
        std::fprintf(stderr, "cannot open the mixer\n");
        return 1;
    }
    Ref<AudioSource> music = player->AddMusic(song);
    if (!music) {
        std::fprintf(stderr, "cannot play %s\n", song.c_str());
        return 1;
    }
    music->Play(0);
    const auto start = std::chrono::steady_clock::now();
    double wall = 0.0, previous = 0.0, sumLag = 0.0, minLag = 1e9, maxLag = -1e9, maxStep = 0.0, back = 0.0;
    double firstHeard = -1.0, firstClock = 0.0, firstWall = 0.0;
    const double queued = 2.0 * buffer / 44100.0;
    double maxDifference = 0.0, firstMinute = 0.0, lastMinute = 0.0;
    long samples = 0, calls = 0, firstCalls = 0, lastCalls = 0;
    U64 lastFrames = 0;
    // Calls seen within half a millisecond of the sample before: the call's
    // moment is known that closely, so the difference is the clock's own.
    double maxTight = 0.0, sampleWall = 0.0;
    long tight = 0;
    std::vector<double> tightDifferences;
    while (wall < seconds && music->IsPlaying()) {
        // Fine sampling: a sample taken late after a mixer call shows as error.
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double gap = wall - sampleWall;
        sampleWall = wall;
        // The clock and the count from one moment: a mixer call that ends
        // between the readings would set an old clock against a new count.
        const U64 frames = music->GetFramesMixed();
        const double clock = music->GetTime();
        if (music->GetFramesMixed() != frames) continue;
        const double stream = static_cast<double>(frames) / 44100.0;
        if (clock <= 0.0) continue;
        if (frames != lastFrames) {
            lastFrames = frames;
            const double difference = clock - (stream - queued);
            maxDifference = std::max(maxDifference, std::abs(difference));
            if (gap <= 0.0005) {
                maxTight = std::max(maxTight, std::abs(difference)), ++tight;
                tightDifferences.push_back(std::abs(difference));
            }
            ++calls;
            if (wall - firstWall < 60.0) firstMinute += difference, ++firstCalls;
            if (wall > seconds - 60.0) lastMinute += difference, ++lastCalls;
        }
        if (firstHeard < 0.0) firstHeard = wall, firstClock = clock, firstWall = wall;
        const double lag = stream - clock;
        sumLag += lag;
        minLag = std::min(minLag, lag);
        maxLag = std::max(maxLag, lag);
        maxStep = std::max(maxStep, clock - previous);
        back = std::max(back, previous - clock);
        previous = clock;
        ++samples;
    }
    const double drift = (previous - firstClock) - (wall - firstWall);
    std::printf("Music clock, %d-frame chunks (%.1f ms), %ld samples over %.1f s of wall time\n", buffer,
                1000.0 * buffer / 44100.0, samples, wall);
    std::printf("  first sound heard after %.1f ms\n", 1000.0 * firstHeard);
    std::printf("  stream ahead of the clock: mean %.1f ms, min %.1f ms, max %.1f ms\n", 1000.0 * sumLag / samples,
                1000.0 * minLag, 1000.0 * maxLag);
    std::printf("  largest step %.2f ms, largest step back %.2f ms; clock minus wall clock over the run %.1f ms\n",
                1000.0 * maxStep, 1000.0 * back, 1000.0 * drift);
    std::printf("  at %ld mixer calls, clock minus (frames mixed - %.1f ms queued): largest %.2f ms; "
                "mean in the first minute %.2f ms, in the last %.2f ms (drift %.2f ms)\n",
                calls, 1000.0 * queued, 1000.0 * maxDifference, 1000.0 * firstMinute / std::max(1L, firstCalls),
                1000.0 * lastMinute / std::max(1L, lastCalls),
                1000.0 * (lastMinute / std::max(1L, lastCalls) - firstMinute / std::max(1L, firstCalls)));
    std::sort(tightDifferences.begin(), tightDifferences.end());
    auto percentile = [&](double p) {
        return tightDifferences.empty() ? 0.0 : tightDifferences[static_cast<size_t>(p * (tightDifferences.size() - 1))];
    };
    std::printf("  at the %ld calls seen within 0.5 ms: largest %.2f ms, 99.9th percentile %.2f ms, 99th %.2f ms\n",
                tight, 1000.0 * maxTight, 1000.0 * percentile(0.999), 1000.0 * percentile(0.99));
    music->Stop();
    music.Reset();
    player->Exit();
    System::Exit();
    Log::Close();
    return 0;
}
