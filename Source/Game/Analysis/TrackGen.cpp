#include "Analysis/TrackGen.h"

#include <cstdio>

#include "Core/Log.h"
#include "Core/System.h"

using namespace Meridian;

namespace {

const F32 ThresholdFactor[TrackGen::BandCount] = {2.0f, 2.0f, 2.0f};
const I32 ThresholdReach = 15;  // values on each side of the centre
// Lists start with room for five minutes of music (about 86 frames a second)
// so that most songs never grow them during the analysis.
const size_t ReservedFrames = 86 * 300;

}  // namespace

TrackGen::TrackGen(const std::string& path)
    : m_Path(path), m_BlockSeconds(0.0f), m_FrameCounter(0.0f), m_Failed(false), m_Finished(false) {}

TrackGen::~TrackGen() {}

bool TrackGen::TrackExists(const std::string& songPath) {
    FILE* file = std::fopen(TrackData::ReadPath(songPath).c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

I32 TrackGen::Init(bool replaceExisting) {
    if (!replaceExisting && TrackExists(m_Path)) {
        LogD() << "TrackGen::Init: Track exists.";
        return 1;
    }
    m_Analyzer.Reset();
    m_Decoder.Reset();
    MusicDecoder* decoder = CreateDecoder(m_Path);
    if (!decoder) {
        m_FailureReason = "unsupported file type";
        return -1;
    }
    m_Decoder = decoder;
    if (!m_Decoder->Open(m_Path)) {
        m_FailureReason = m_Decoder->FailureReason().empty() ? "cannot be decoded" : m_Decoder->FailureReason();
        LogE() << "Failed to open file " << m_Path;
        m_Decoder.Reset();
        return -1;
    }
    m_Analyzer = New<SpectrumAnalyzer>(m_Decoder.Get());
    m_BlockSeconds = 1024.0f / static_cast<F32>(m_Decoder->Rate());
    m_FrameCounter = 0.0f;
    m_TimeList.clear();
    m_TimeList.reserve(ReservedFrames);
    for (I32 b = 0; b < BandCount; ++b) {
        m_FluxList[b].clear();
        m_FluxList[b].reserve(ReservedFrames);
        m_ThresholdList[b].clear();
    }
    return 0;
}

bool TrackGen::Step() {
    if (m_Finished) return false;
    if (!m_Analyzer) return Finish();
    if (!m_Analyzer->Step()) {
        m_Analyzer.Reset();
        return Finish();
    }
    m_TimeList.push_back(m_FrameCounter * m_BlockSeconds);
    m_FrameCounter += 0.5f;
    for (I32 b = 0; b < BandCount; ++b) m_FluxList[b].push_back(m_Analyzer->BandFlux(b));
    return true;
}

bool TrackGen::StepFor(U64 microseconds) {
    const U64 end = System::GetWorkMicroseconds() + microseconds;
    bool more = Step();
    while (more && System::GetWorkMicroseconds() < end) more = Step();
    return more;
}

I32 TrackGen::LengthSeconds() const {
    const I64 frames = m_Decoder ? m_Decoder->LengthFrames() : -1;
    return frames < 0 ? -1 : static_cast<I32>(frames / MusicDecoder::OutputRate);
}

I32 TrackGen::ProgressSeconds() const { return static_cast<I32>(m_FrameCounter * m_BlockSeconds); }

void TrackGen::ComputeThresholds(const std::vector<F32>& flux, F32 factor, std::vector<F32>& threshold) {
    const I32 n = static_cast<I32>(flux.size());
    threshold.resize(flux.size());
    for (I32 i = 0; i < n; ++i) {
        const I32 lo = i - ThresholdReach > 0 ? i - ThresholdReach : 0;
        const I32 hi = i + ThresholdReach < n - 1 ? i + ThresholdReach : n - 1;
        F32 sum = 0.0f;
        for (I32 k = lo; k <= hi; ++k) sum += flux[k];
        // The divisor is one less than the number of values summed.
        const I32 divisor = hi - lo > 0 ? hi - lo : 1;
        threshold[i] = sum / static_cast<F32>(divisor) * factor;
    }
}

bool TrackGen::Finish() {
    m_Finished = true;
    // Without a decoder (Init failed or was never run) there is nothing to save.
    if (!m_Decoder) m_Failed = true;
    for (I32 b = 0; b < BandCount; ++b) ComputeThresholds(m_FluxList[b], ThresholdFactor[b], m_ThresholdList[b]);
    if (m_Failed) {
        if (m_FailureReason.empty()) m_FailureReason = "cannot be analysed";
        LogE() << "Failed to analyze " << m_Path;
        return false;
    }

    TrackData data;
    const size_t n = m_TimeList.size();
    data.Time = m_TimeList;
    data.Flux.resize(n);
    data.Threshold.resize(n);
    for (size_t i = 0; i < n; ++i)
        for (I32 b = 0; b < BandCount; ++b) {
            data.Flux[i][b] = m_FluxList[b][i];
            data.Threshold[i][b] = m_ThresholdList[b][i];
        }
    if (!data.SaveTo(m_Path)) LogE() << "TrackGen: failed to save TrackData.";
    LogD() << "SongLength: " << static_cast<F32>(n) * 0.5f * m_BlockSeconds << "s";
    return false;
}
