// The engine's random numbers: one process-wide MT19937 generator (the
// mt19937ar reference algorithm, 624 words of state).
//
// Depends on: Math/Fixed.h.
// Limits: one shared state, main thread only. Until RandomSeed is called the
// first draw seeds with 5489, giving the reference sequence. Every draw below
// consumes exactly one 32-bit output.
#pragma once

#include "Core/Types.h"
#include "Math/Fixed.h"

namespace Meridian {

void RandomSeed(U32 seed);
U32 RandomU32();                         // the raw 32-bit output
Fixed RandomFixed();                     // 0 .. 1.0, both ends included
Fixed RandomRange(Fixed lo, Fixed hi);   // lo .. hi, both ends included
I32 RandomInt31();                       // 0 .. 2^31 - 1

// The mapping RandomFixed applies to one output: r / (2^32 - 1) as Fixed,
// truncated, so 0xFFFFFFFF maps to exactly 1.0.
Fixed RandomFixedFromU32(U32 r);

}  // namespace Meridian
