#include "Animation/TrackLibrary.h"

#include "Core/Log.h"

namespace Meridian {

void TrackLibrary::Update(Fixed time) {
    if (m_Duration < Fixed::Zero) {
        m_Duration = Fixed::Zero;
        for (const Ref<Track>& track : m_Tracks) {
            Fixed duration;
            track->GetDuration(duration);
            if (duration > m_Duration) m_Duration = duration;
        }
        LogD() << "TrackLibrary " << Log::Quote(Name()) << " Duration=" << m_Duration.ToFloat();
    }
    if (m_Duration.Raw() < 1) return;
    const Fixed looped = Fixed::FromRaw(time.Raw() % m_Duration.Raw());
    for (const Ref<Track>& track : m_Tracks) track->Apply(looped);
}

}  // namespace Meridian
