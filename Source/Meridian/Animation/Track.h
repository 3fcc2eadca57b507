// Track: animates one target object with a list of attribute splines.
//
// The target is held by a weak reference: the track usually sits in the tree
// it animates, so a counted one would keep that tree alive. Once the target
// is destroyed (or while it is null) Apply does nothing to it; the
// attributes are owned by the track. The duration is the largest
// attribute duration (0 without attributes, -1.0 before any was added) and
// is recomputed whenever an attribute is added. Times are Fixed, in the unit
// of the imported key times.
// Depends on: Memory/Object.h, Animation/AttributeSpline.h.
#pragma once

#include <memory>
#include <vector>

#include "Animation/AttributeSpline.h"
#include "Memory/Object.h"

namespace Meridian {

class Track : public Object {
    MERIDIAN_TAGGED_CLASS(Track, Object, Tags::Track)

    Track() : m_Duration(Fixed::FromInt(-1)) {}

    virtual void SetTarget(Object* target) { m_Target = target; }
    virtual Object* GetTarget() const { return m_Target; }
    // Takes ownership; null is ignored. Updates the duration.
    virtual void AddAttribute(std::unique_ptr<AttributeSpline> attribute);
    virtual void GetDuration(Fixed& duration) const { duration = m_Duration; }
    // Applies every attribute at time to the target.
    virtual void Apply(Fixed time);
    virtual void UpdateDuration();

    I32 GetAttributeCount() const { return static_cast<I32>(m_Attributes.size()); }
    AttributeSpline* GetAttribute(I32 index) const {
        return index >= 0 && index < GetAttributeCount() ? m_Attributes[static_cast<size_t>(index)].get() : nullptr;
    }

private:
    WeakRef<Object> m_Target;
    std::vector<std::unique_ptr<AttributeSpline>> m_Attributes;
    Fixed m_Duration;
};

}  // namespace Meridian
