#include "Animation/Track.h"

namespace Meridian {

void Track::AddAttribute(std::unique_ptr<AttributeSpline> attribute) {
    if (!attribute) return;
    m_Attributes.push_back(std::move(attribute));
    UpdateDuration();
}

void Track::Apply(Fixed time) {
    for (const std::unique_ptr<AttributeSpline>& attribute : m_Attributes) attribute->Apply(time, m_Target);
}

void Track::UpdateDuration() {
    m_Duration = Fixed::Zero;
    for (const std::unique_ptr<AttributeSpline>& attribute : m_Attributes) {
        Fixed duration;
        attribute->GetDuration(duration);
        if (duration > m_Duration) m_Duration = duration;
    }
}

}  // namespace Meridian
