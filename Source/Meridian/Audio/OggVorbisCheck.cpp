#include "Audio/OggVorbisCheck.h"

#include <cstdio>
#include <cstring>

namespace Meridian {

bool OggVorbisSetupDecodes(OggVorbis_File* stream) {
    const long links = ov_streams(stream);
    if (links < 1) return false;
    for (long link = 0; link < links; ++link) {
        vorbis_info* info = ov_info(stream, static_cast<int>(link));
        if (!info) return false;
        // The same set-up ov_read runs first; it keeps the codebooks it built
        // in the stream's info, so decoding reuses them. When it fails, the
        // tables left in the info are unusable: only ov_clear may follow.
        vorbis_dsp_state state;
        std::memset(&state, 0, sizeof(state));
        if (vorbis_synthesis_init(&state, info) != 0) return false;
        vorbis_dsp_clear(&state);
    }
    return true;
}

bool IsDamagedOggVorbis(const std::string& path, std::string* reason) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    OggVorbis_File stream;
    if (ov_open(file, &stream, nullptr, 0) != 0) {
        std::fclose(file);  // a failed ov_open leaves the file to the caller
        return false;
    }
    const bool damaged = !OggVorbisSetupDecodes(&stream);
    ov_clear(&stream);  // closes the file
    if (damaged && reason) *reason = "damaged Vorbis setup header";
    return damaged;
}

}  // namespace Meridian
