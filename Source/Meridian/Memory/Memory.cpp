#include "Memory/Memory.h"

#include <cstdlib>

#include "Core/Assert.h"

namespace Meridian {

namespace {

const U32 MaxRecords = 4096;

const TypeRecord** RecordTable() {
    static const TypeRecord* table[MaxRecords];
    return table;
}

U32& RecordCount() {
    static U32 count = 0;
    return count;
}

}  // namespace

TypeRecord::TypeRecord(I32 typeSize, void (*destroy)(void*))
    : m_TypeSize(typeSize), m_Destroy(destroy), m_TypeName(""), m_Index(RecordCount()) {
    MERIDIAN_ASSERT(m_Index < MaxRecords);
    RecordTable()[m_Index] = this;
    ++RecordCount();
}

const TypeRecord* TypeRecord::FromIndex(U32 index) {
    MERIDIAN_ASSERT(index < RecordCount());
    return RecordTable()[index];
}

void* Allocate(size_t size, const TypeRecord& record) {
    MERIDIAN_ASSERT(static_cast<I32>(size) == record.m_TypeSize);
    void* block = std::malloc(size + sizeof(BlockHeader));
    MERIDIAN_ASSERT(block != 0);
    BlockHeader* header = static_cast<BlockHeader*>(block);
    header->m_Magic = BlockMagic;
    header->m_Count = 0;
    header->m_Record = record.m_Index;
    header->m_ElementCount = 0;
    return header + 1;
}

void* AllocateArray(size_t bytes, U32 count, const TypeRecord& record) {
    size_t total = static_cast<size_t>(record.m_TypeSize) * count;
    MERIDIAN_ASSERT(total == bytes);
    // Zero-filled so that pixel and vertex arrays never expose stale memory.
    void* block = std::calloc(1, total + sizeof(BlockHeader));
    MERIDIAN_ASSERT(block != 0);
    BlockHeader* header = static_cast<BlockHeader*>(block);
    header->m_Magic = BlockMagic;
    header->m_Count = 0;
    header->m_Record = record.m_Index;
    header->m_ElementCount = count;
    return header + 1;
}

void Free(void* pointer) {
    if (pointer) std::free(HeaderOf(pointer));
}

}  // namespace Meridian
