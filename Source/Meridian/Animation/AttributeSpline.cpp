#include "Animation/AttributeSpline.h"

namespace Meridian {

void AttributeSpline::GetDuration(Fixed& duration) const {
    duration = Fixed::Zero;
    bool any = false;
    for (const Ref<HermiteSpline>& spline : m_Splines) {
        Fixed end;
        if (!spline || !spline->GetEndTime(end)) continue;
        if (!any || end > duration) duration = end;
        any = true;
    }
}

void AttributeSpline::SetSpline(I32 index, HermiteSpline* spline) {
    if (index < 0 || index >= MaxComponents) return;
    if (static_cast<size_t>(index) >= m_Splines.size()) m_Splines.resize(static_cast<size_t>(index) + 1);
    m_Splines[static_cast<size_t>(index)] = spline;
}

HermiteSpline* AttributeSpline::GetSpline(I32 index) const {
    return index >= 0 && static_cast<size_t>(index) < m_Splines.size() ? m_Splines[static_cast<size_t>(index)].Get()
                                                                       : nullptr;
}

Fixed AttributeSpline::Component(I32 index, Fixed time) const {
    Fixed value;
    if (HermiteSpline* spline = GetSpline(index)) spline->Evaluate(time, value);
    return value;
}

}  // namespace Meridian
