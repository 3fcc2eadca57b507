// TrackGen: analyses one song, a frame at a time, and writes its track file.
//
// Depends on MusicDecoder (CreateDecoder), SpectrumAnalyzer and TrackData.
// Use: construct with the song's path, call Init, then Step until it returns
// false (each Step analyses 512 samples, about 11.6 ms of music), then read
// Failed(). The track file is written only when the whole song has been
// analysed; dropping the generator earlier writes nothing. One generator
// analyses at a time (the decoders share scratch memory). Main thread only.
#pragma once

#include <string>
#include <vector>

#include "Music/MusicDecoder.h"
#include "Analysis/SpectrumAnalyzer.h"
#include "Analysis/TrackData.h"
#include "Core/Types.h"
#include "Memory/Memory.h"

class TrackGen {
public:
    static const Meridian::I32 BandCount = SpectrumAnalyzer::BandCount;

    explicit TrackGen(const std::string& path);
    virtual ~TrackGen();
    TrackGen(const TrackGen&) = delete;
    TrackGen& operator=(const TrackGen&) = delete;

    // True when the song's track file (in either place) can be opened for reading.
    static bool TrackExists(const std::string& songPath);

    // 1: the track file exists, nothing to do (unless replaceExisting, which
    // analyses anyway and replaces the file only once the new one is
    // complete); -1: the song cannot be analysed (logged); 0: ready to Step.
    Meridian::I32 Init(bool replaceExisting = false);

    // Analyses the next frame; true while more remains. The call that returns
    // false computes the thresholds and writes the track file (or logs
    // "Failed to analyze " and the path). Later calls return false at once.
    bool Step();

    // Steps until about microseconds of real time (System's work clock) have
    // passed, at least once; true while more remains. The loading screen
    // gives each frame such a slice, so the wait does not grow with the
    // display or the frame rate.
    bool StepFor(Meridian::U64 microseconds);

    // The song's length in whole seconds as its file states it (after Init),
    // or -1 when it does not.
    Meridian::I32 LengthSeconds() const;
    // Whole seconds of music analysed so far.
    Meridian::I32 ProgressSeconds() const;
    // Read after Step returned false: true when no track file was written
    // because the analysis could not run.
    bool Failed() const { return m_Failed; }
    // Why Init could not start the analysis or the analysis failed, in a few
    // words for the player ("no audio stream"); empty otherwise.
    const std::string& FailureReason() const { return m_FailureReason; }

    const std::string& Path() const { return m_Path; }
    Meridian::F32 BlockSeconds() const { return m_BlockSeconds; }
    // Per control point: time in seconds, flux and threshold per band.
    const std::vector<Meridian::F32>& Times() const { return m_TimeList; }
    const std::vector<Meridian::F32>& Flux(Meridian::I32 band) const { return m_FluxList[band]; }
    const std::vector<Meridian::F32>& Thresholds(Meridian::I32 band) const { return m_ThresholdList[band]; }

    // threshold[i] = (sum of flux[lo .. hi]) / (hi - lo) * factor, with
    // lo = max(i - 15, 0) and hi = min(i + 15, n - 1); a list of one value
    // (no divisor) gives that value times factor. The game uses factor 2.
    static void ComputeThresholds(const std::vector<Meridian::F32>& flux, Meridian::F32 factor,
                                  std::vector<Meridian::F32>& threshold);

private:
    bool Finish();

    std::string m_Path;
    Meridian::Ref<SpectrumAnalyzer> m_Analyzer;  // null once the song has run out
    Meridian::Ref<Meridian::MusicDecoder> m_Decoder;
    std::vector<Meridian::F32> m_FluxList[BandCount];
    std::vector<Meridian::F32> m_ThresholdList[BandCount];
    std::vector<Meridian::F32> m_TimeList;
    Meridian::F32 m_BlockSeconds;  // duration of 1024 samples
    Meridian::F32 m_FrameCounter;  // +0.5 per frame: a frame advances half a block
    bool m_Failed;
    bool m_Finished;
    std::string m_FailureReason;
};
