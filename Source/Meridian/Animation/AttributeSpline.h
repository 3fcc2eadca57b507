// AttributeSpline: a vector attribute driven by up to three component
// curves (index 0 = x, 1 = y, 2 = z), held by counted references.
// AttributeSplineT binds it to one setter of a target class; the engine uses
// the Transform setters (TranslationSpline, RotationSpline, ScalingSpline).
// A missing component, or one whose curve has no keys, is applied as 0.
// Depends on: Animation/AnimatedAttribute.h, Animation/HermiteSpline.h,
// Scene/Transform.h.
#pragma once

#include <vector>

#include "Animation/AnimatedAttribute.h"
#include "Animation/HermiteSpline.h"
#include "Scene/Transform.h"

namespace Meridian {

class AttributeSpline : public AnimatedAttribute {
public:
    static const I32 MaxComponents = 3;

    // Largest last-key time over the components with keys; 0 when none has.
    void GetDuration(Fixed& duration) const override;
    // Index 0 .. 2; other indices are ignored. Null clears the component.
    virtual void SetSpline(I32 index, HermiteSpline* spline);
    virtual HermiteSpline* GetSpline(I32 index) const;
    I32 GetSplineCount() const { return static_cast<I32>(m_Splines.size()); }

protected:
    // The component's value at time, 0 when absent or without keys.
    Fixed Component(I32 index, Fixed time) const;

    std::vector<Ref<HermiteSpline>> m_Splines;
};

// Target must be an engine class with a tag (Cast<Target>); Value a vector
// type with x, y, z members of Fixed.
template <class Target, class Value, void (Target::*Setter)(const Value&)>
class AttributeSplineT : public AttributeSpline {
public:
    void Apply(Fixed time, Object* target) override {
        Target* object = Cast<Target>(target);
        if (!object) return;
        Value value{};
        value.x = Component(0, time);
        value.y = Component(1, time);
        value.z = Component(2, time);
        (object->*Setter)(value);
    }
};

typedef AttributeSplineT<Transform, Vector3, &Transform::SetTranslation> TranslationSpline;
typedef AttributeSplineT<Transform, Vector3, &Transform::SetRotation> RotationSpline;
typedef AttributeSplineT<Transform, Vector3, &Transform::SetScaling> ScalingSpline;

}  // namespace Meridian
