#include "Front/Calibration.h"

#include <algorithm>
#include <cstdlib>

#include "Core/Log.h"
#include "Music/MusicDecoder.h"

using namespace Meridian;

namespace {

const I32 Threshold = 32768 / 5;
const I32 QuietFrames = MusicDecoder::OutputRate / 10;

I32 Milliseconds(I64 frames) {
    return static_cast<I32>((frames * 1000 + MusicDecoder::OutputRate / 2) / MusicDecoder::OutputRate);
}

}  // namespace

bool Calibration::LoadClicks(const std::string& path) {
    m_Clicks.clear();
    m_Differences.clear();
    m_Length = 0;
    Ref<MusicDecoder> decoder = CreateDecoder(path, false);
    if (!decoder || !decoder->Open(path)) {
        LogE() << "Calibration::LoadClicks: cannot decode " << path << ": "
               << (decoder ? decoder->FailureReason() : std::string("unsupported file type"));
        return false;
    }
    std::vector<I32> clicks;
    I64 frame = 0, quiet = QuietFrames;
    I16 buffer[4096];
    while (I32 got = decoder->Read(buffer, 4096)) {
        for (I32 i = 0; i < got; ++i, ++frame) {
            if (std::abs(static_cast<I32>(buffer[i])) < Threshold) {
                ++quiet;
                continue;
            }
            if (quiet >= QuietFrames) clicks.push_back(Milliseconds(frame));
            quiet = 0;
        }
    }
    if (clicks.empty() || Milliseconds(frame) <= clicks.back()) {
        LogE() << "Calibration::LoadClicks: no clicks in " << path;
        return false;
    }
    SetClicks(clicks, Milliseconds(frame));
    return true;
}

void Calibration::SetClicks(const std::vector<I32>& clicksMs, I32 lengthMs) {
    m_Clicks = clicksMs;
    m_Length = lengthMs;
    m_Differences.clear();
    m_Presses = 0;
    m_LastDifference = 0;
    m_LastCounted = false;
}

bool Calibration::Press(I64 musicMs) {
    if (IsDone() || m_Clicks.empty() || m_Length <= 0) return false;
    ++m_Presses;
    const I32 phase = static_cast<I32>(((musicMs % m_Length) + m_Length) % m_Length);
    // The nearest click may be in the loop before or after this one.
    I32 best = 0;
    bool found = false;
    for (I32 click : m_Clicks)
        for (I32 loop = -1; loop <= 1; ++loop) {
            const I32 difference = phase - (click + loop * m_Length);
            if (!found || std::abs(difference) < std::abs(best)) best = difference, found = true;
        }
    m_LastDifference = best;
    m_LastCounted = std::abs(best) <= StrayMilliseconds;
    if (m_LastCounted) m_Differences.push_back(best);
    return m_LastCounted;
}

I32 Calibration::GetOffset() const {
    if (m_Differences.empty()) return 0;
    std::vector<I32> sorted = m_Differences;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const I32 median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    return std::max(-LargestOffset, std::min(LargestOffset, median));
}
