#include "Math/Random.h"

namespace Meridian {

namespace {

const int N = 624;
const int M = 397;
U32 s_State[N];
int s_Index = N + 1;  // never seeded

void Generate() {
    const U32 kMatrixA = 0x9908b0dfu, kUpper = 0x80000000u, kLower = 0x7fffffffu;
    for (int k = 0; k < N; ++k) {
        const U32 y = (s_State[k] & kUpper) | (s_State[(k + 1) % N] & kLower);
        s_State[k] = s_State[(k + M) % N] ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
    }
    s_Index = 0;
}

}  // namespace

void RandomSeed(U32 seed) {
    s_State[0] = seed;
    for (int i = 1; i < N; ++i) s_State[i] = 1812433253u * (s_State[i - 1] ^ (s_State[i - 1] >> 30)) + static_cast<U32>(i);
    s_Index = N;
}

U32 RandomU32() {
    if (s_Index >= N) {
        if (s_Index == N + 1) RandomSeed(5489u);
        Generate();
    }
    U32 y = s_State[s_Index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

Fixed RandomFixedFromU32(U32 r) {
    return Fixed::FromRaw(static_cast<I32>(static_cast<double>(r) * (1.0 / 4294967295.0) * 65536.0));
}

Fixed RandomFixed() { return RandomFixedFromU32(RandomU32()); }

Fixed RandomRange(Fixed lo, Fixed hi) {
    // The span in 64 bits so ranges wider than 32768.0 do not wrap.
    const I64 span = static_cast<I64>(hi.m_Raw) - lo.m_Raw;
    return Fixed::FromRaw(static_cast<I32>(lo.m_Raw + ((RandomFixed().m_Raw * span) >> 16)));
}

I32 RandomInt31() { return static_cast<I32>(RandomU32() >> 1); }

}  // namespace Meridian
