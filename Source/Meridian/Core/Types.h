// Fixed-width integer and float names used throughout the engine.
#pragma once

#include <cstdint>

namespace Meridian {

typedef int8_t I8;
typedef uint8_t U8;
typedef int16_t I16;
typedef uint16_t U16;
typedef int32_t I32;
typedef uint32_t U32;
typedef int64_t I64;
typedef uint64_t U64;
typedef float F32;
typedef double F64;

}  // namespace Meridian
