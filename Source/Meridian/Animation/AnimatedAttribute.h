// AnimatedAttribute: the contract of one animated property of an object.
//
// Not an engine Object: a Track owns its attributes outright and deletes
// them with itself. Times are Fixed, in the unit of the imported key times.
// Depends on: Memory/Object.h, Math/Fixed.h.
#pragma once

#include "Math/Fixed.h"
#include "Memory/Object.h"

namespace Meridian {

class AnimatedAttribute {
public:
    virtual ~AnimatedAttribute() {}
    // The time at which the attribute stops changing (0 when it never does).
    virtual void GetDuration(Fixed& duration) const = 0;
    // Sets the property of target to its value at time. A null target, or
    // one of the wrong kind, is left alone. The target is not retained.
    virtual void Apply(Fixed time, Object* target) = 0;
};

}  // namespace Meridian
