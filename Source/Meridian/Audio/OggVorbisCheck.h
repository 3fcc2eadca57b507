// Refuses Ogg Vorbis files whose setup Tremor cannot build, before anything
// decodes them.
//
// Tremor builds its decoding tables (codebooks, floors, residues) on the
// first ov_read. When a codebook in the setup header describes an impossible
// Huffman tree, that ov_read fails but leaves the half-built tables behind,
// and the next ov_read decodes with empty codebooks and divides by zero
// (SIGFPE). Every player calls ov_read again after an error (SDL_mixer does
// on its mixing thread), so such a file must never reach decoding.
//
// Depends on: Tremor (libvorbisidec). Both functions are safe on any input;
// neither logs: callers report the refusal in their own words.
#pragma once

#include <tremor/ivorbisfile.h>

#include <string>

namespace Meridian {

// Builds, once on its own, the decoding tables of every link of a stream just
// opened with ov_open or ov_open_callbacks (before its first ov_read) and
// releases them again. False when a link's setup cannot be built: the stream
// must then only be cleared with ov_clear. On a stream that cannot seek, only
// the current link is known and checked.
bool OggVorbisSetupDecodes(OggVorbis_File* stream);

// For a file that is Ogg Vorbis (ov_open accepts it): true, with a reason,
// when its setup cannot be built. False for a decodable file and for a file
// that cannot be opened or is not Ogg Vorbis at all (its loader refuses it).
bool IsDamagedOggVorbis(const std::string& path, std::string* reason);

}  // namespace Meridian
