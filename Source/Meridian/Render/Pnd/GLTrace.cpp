#include "Render/Pnd/GLTrace.h"

namespace Meridian {
namespace GLTrace {

U32 g_Counts[CallCount] = {};

U32 Total() {
    U32 total = 0;
    for (U32 count : g_Counts) total += count;
    return total;
}

void Reset() {
    for (U32& count : g_Counts) count = 0;
}

const char* Name(Call call) {
    static const char* const names[CallCount] = {
#define MERIDIAN_GL_NAME(name) "gl" #name,
        MERIDIAN_GL_ENTRY_POINTS(MERIDIAN_GL_NAME)
#undef MERIDIAN_GL_NAME
    };
    return call >= 0 && call < CallCount ? names[call] : "";
}

}  // namespace GLTrace
}  // namespace Meridian
