// RateConverter: changes the sample rate of interleaved signed 16-bit audio,
// for the decoders (songs at any rate become 44100 Hz).
//
// The desktop build converts with libswresample (RateConverterFFmpeg.cpp);
// the handheld build has no converter, so there only 44100 Hz songs decode.
// Owned by its decoder; one thread at a time.
#pragma once

#include <vector>

#include "Core/Types.h"

namespace Meridian {

class RateConverter {
public:
    virtual ~RateConverter() {}
    // Appends the converted form of frames interleaved frames to out.
    virtual void Convert(const I16* input, I32 frames, std::vector<I16>& out) = 0;
    // At the end of the song: appends what the filter still holds back.
    virtual void Flush(std::vector<I16>& out) = 0;
};

// A converter from fromRate to toRate for frames of channels samples, or null
// when this build cannot convert or a rate lies outside 8000 .. 192000 Hz.
RateConverter* CreateRateConverter(I32 fromRate, I32 toRate, I32 channels);

}  // namespace Meridian
