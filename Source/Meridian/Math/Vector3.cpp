#include "Math/Vector3.h"

#include "Math/MathFunctions.h"

namespace Meridian {

// From the exact 64-bit sum of squares (value × 2^32), so long vectors do not
// wrap as Dot would.
template <>
Fixed Vector3T<Fixed>::Length() const {
    const I64 c[3] = {x.m_Raw, y.m_Raw, z.m_Raw};
    U64 sum = 0;
    for (I64 v : c) sum += static_cast<U64>(v * v);
    const U32 root = IntegerSqrt(sum);
    return Fixed::FromRaw(root > static_cast<U32>(INT32_MAX) ? INT32_MAX : static_cast<I32>(root));
}

}  // namespace Meridian
