// TrackLibrary: the tracks of one animation take, played in a loop.
//
// Tracks are held by counted references. The common duration is computed
// once, at the first Update, as the largest track duration, and logged; it
// is kept afterwards (tracks added later do not change it). Update(t) plays
// every track at t modulo the duration; a library whose duration is not
// above 0 plays nothing. Times are Fixed, in the unit of the key times.
// Depends on: Animation/Track.h.
#pragma once

#include <vector>

#include "Animation/Track.h"

namespace Meridian {

class TrackLibrary : public Object {
    MERIDIAN_TAGGED_CLASS(TrackLibrary, Object, Tags::TrackLibrary)

    TrackLibrary() : m_Duration(Fixed::FromInt(-1)) {}

    // Null is ignored.
    void AddTrack(Track* track) {
        if (track) m_Tracks.push_back(Ref<Track>(track));
    }
    I32 GetTrackCount() const { return static_cast<I32>(m_Tracks.size()); }
    Track* GetTrack(I32 index) const {
        return index >= 0 && index < GetTrackCount() ? m_Tracks[static_cast<size_t>(index)].Get() : nullptr;
    }
    // -1.0 until the first Update.
    Fixed GetDuration() const { return m_Duration; }
    void Update(Fixed time);

private:
    std::vector<Ref<Track>> m_Tracks;
    Fixed m_Duration;
};

}  // namespace Meridian
