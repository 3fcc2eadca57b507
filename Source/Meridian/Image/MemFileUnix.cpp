#include "Image/MemFileUnix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Meridian {

const void* MemFileUnix::Open(const char* path) {
    Close();
    if (!path) return nullptr;
    m_File = ::open(path, O_RDONLY);
    if (m_File < 0) {
        m_File = -1;
        return nullptr;
    }
    const off_t end = ::lseek(m_File, 0, SEEK_END);
    if (end <= 0) {
        Close();
        return nullptr;
    }
    void* data = ::mmap(nullptr, static_cast<size_t>(end), PROT_READ, MAP_PRIVATE, m_File, 0);
    if (data == MAP_FAILED) {
        Close();
        return nullptr;
    }
    m_Data = data;
    m_Size = static_cast<size_t>(end);
    return m_Data;
}

void MemFileUnix::Close() {
    if (m_Data) ::munmap(m_Data, m_Size);
    if (m_File >= 0) ::close(m_File);
    m_Data = nullptr;
    m_Size = 0;
    m_File = -1;
}

}  // namespace Meridian
