// Invariant checks. A failed check writes one error line with the source
// path, line and expression to the log, then aborts. Data errors never use
// this: they log and return failure instead.
#pragma once

namespace Meridian {

[[noreturn]] void AssertFailed(const char* file, int line, const char* expression);

}  // namespace Meridian

#define MERIDIAN_ASSERT(expr) \
    ((expr) ? (void)0 : ::Meridian::AssertFailed(__FILE__, __LINE__, #expr))
