// Read-only view of a whole file in memory.
//
// Contract: Open maps the file and returns the address of its first byte, or
// null when the file cannot be opened, is empty or cannot be mapped. The
// bytes stay valid until the object is destroyed or opened again; they are
// read-only (writing to them is undefined). GetSize is the byte length of
// the open file (0 when none). Not an engine Object: the owner deletes it.
// Nothing in the game opens one; it serves tools and importers.
//
// Depends on: Core/Types.h.
#pragma once

#include <cstddef>

#include "Core/Types.h"

namespace Meridian {

class MemFile {
public:
    virtual const void* Open(const char* path) = 0;
    virtual size_t GetSize() const = 0;
    virtual ~MemFile() {}
};

}  // namespace Meridian
