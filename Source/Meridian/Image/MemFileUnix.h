// MemFile on POSIX: open, lseek for the length, mmap read-only and private.
//
// Depends on: Image/MemFile.h, the POSIX file and mapping calls.
// Limits: the whole file is mapped at once; files must fit the address space.
#pragma once

#include "Image/MemFile.h"

namespace Meridian {

class MemFileUnix : public MemFile {
public:
    MemFileUnix() : m_File(-1), m_Size(0), m_Data(nullptr) {}
    ~MemFileUnix() override { Close(); }
    MemFileUnix(const MemFileUnix&) = delete;
    MemFileUnix& operator=(const MemFileUnix&) = delete;

    // Closes any file already open, then maps path. Null on failure, with
    // nothing left open.
    const void* Open(const char* path) override;
    size_t GetSize() const override { return m_Size; }
    void Close();

private:
    int m_File;  // -1 when closed
    size_t m_Size;
    void* m_Data;  // null when not mapped
};

}  // namespace Meridian
