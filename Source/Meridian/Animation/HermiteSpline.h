// HermiteSplineT: one keyframed curve (a component of an animated vector).
//
// Keys hold a value, an incoming and an outgoing tangent and a time, and are
// kept sorted by time (keys with equal times keep their insertion order).
// Between two keys the curve is the cubic Hermite segment through their
// values with the first key's outgoing and the second key's incoming
// tangent, taken as stored (not scaled by the segment length). Before the
// first key the curve holds the first value, after the last key the last.
// Times are in the unit of the imported key times.
//
// Depends on: Memory/Object.h, Math/Fixed.h.
// T must behave like Fixed (FromInt, One, Max, wrapping arithmetic); the
// engine uses HermiteSplineT<Fixed> only.
#pragma once

#include <algorithm>
#include <vector>

#include "Math/Fixed.h"
#include "Memory/Object.h"

namespace Meridian {

template <class T>
struct HermiteKeyT {
    T value;
    T inTangent;   // slope arriving at this key (used when the key ends a segment)
    T outTangent;  // slope leaving this key (used when the key starts a segment)
    T time;
};

template <class T>
class HermiteSplineT : public Object {
    MERIDIAN_TAGGED_CLASS(HermiteSplineT, Object, Tags::HermiteSpline)

    typedef HermiteKeyT<T> Key;

    // Inserts a key after every key whose time is not later.
    void AddKey(const Key& key) {
        auto at = std::upper_bound(m_Keys.begin(), m_Keys.end(), key,
                                   [](const Key& a, const Key& b) { return a.time < b.time; });
        m_Keys.insert(at, key);
    }
    void AddKey(T value, T inTangent, T outTangent, T time) { AddKey(Key{value, inTangent, outTangent, time}); }
    // Replaces all keys, sorting them by time (stable).
    void SetKeys(const std::vector<Key>& keys) {
        m_Keys = keys;
        std::stable_sort(m_Keys.begin(), m_Keys.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
    }
    const std::vector<Key>& GetKeys() const { return m_Keys; }
    I32 GetKeyCount() const { return static_cast<I32>(m_Keys.size()); }

    // Time of the last key; false when there are no keys.
    bool GetEndTime(T& time) const {
        if (m_Keys.empty()) return false;
        time = m_Keys.back().time;
        return true;
    }

    // The curve's value at t; false (out untouched) when there are no keys.
    bool Evaluate(T t, T& out) const {
        if (m_Keys.empty()) return false;
        if (t <= m_Keys.front().time) {
            out = m_Keys.front().value;
            return true;
        }
        if (t >= m_Keys.back().time) {
            out = m_Keys.back().value;
            return true;
        }
        for (size_t i = 0; i + 1 < m_Keys.size(); ++i) {
            const Key& a = m_Keys[i];
            const Key& b = m_Keys[i + 1];
            if (a.time <= t && t <= b.time) {
                out = Segment(a, b, t);
                return true;
            }
        }
        out = m_Keys.back().value;
        return true;
    }

private:
    static T Segment(const Key& a, const Key& b, T t) {
        const T span = b.time - a.time;
        T s = span == T() ? T::Max : (t - a.time) / span;
        if (s < T()) s = T();
        if (s > T::One) s = T::One;
        const T s2 = s * s, s3 = s2 * s;
        const T two = T::FromInt(2), three = T::FromInt(3);
        const T h00 = two * s3 - three * s2 + T::One;
        const T h01 = three * s2 - two * s3;
        const T h10 = s3 - two * s2 + s;
        const T h11 = s3 - s2;
        return h00 * a.value + h01 * b.value + h10 * a.outTangent + h11 * b.inTangent;
    }

    std::vector<Key> m_Keys;
};

typedef HermiteSplineT<Fixed> HermiteSpline;

}  // namespace Meridian
