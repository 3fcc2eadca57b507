// Single-precision float constants and helpers for the float-side code
// (song analysis, stored vertex data).
//
// Depends on: nothing.
#pragma once

namespace Meridian {

struct Mathf {
    static constexpr float Eps = 1.1920929e-07f;  // 2^-23
    static constexpr float OneMinusEps = 0.99999976f;
    static constexpr float OnePlusEps = 1.0000002f;
    static constexpr float Pi = 3.1415927f;
    static constexpr float RadToDeg = 57.29578f;

    static float Absolute(float a) { return a < 0.0f ? -a : a; }
};

}  // namespace Meridian
