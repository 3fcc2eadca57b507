// Engine block allocator and reference counts.
//
// Every engine object lives in a block from Allocate/AllocateArray. A 16-byte
// header sits just before the pointer callers see:
//
//     word 0  magic 0xBABEB00B
//     word 1  reference count (0 when allocated)
//     word 2  index of the class's TypeRecord (a 32-bit index keeps the header
//             at 16 bytes on 64-bit hosts too)
//     word 3  element count: 0 for a single object, n for an array block
//
// The record carries the size of one object (checked on every allocation) and
// the destroy function, so any holder can drop a reference without knowing
// the class. TakeRef adds one; DropRef subtracts one and destroys the block
// when the count falls below 1, so dropping a never-taken object destroys it
// too. Allocation failure and size mismatches are fatal assertions: no
// allocation ever returns null. Counts are plain integers: main thread only.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "Core/Types.h"

namespace Meridian {

struct TypeRecord {
    I32 m_TypeSize;
    void (*m_Destroy)(void* object);  // runs the destructor, then frees the block
    const char* m_TypeName;           // always the empty text
    U32 m_Index;

    TypeRecord(I32 typeSize, void (*destroy)(void*));
    static const TypeRecord* FromIndex(U32 index);
};

struct BlockHeader {
    U32 m_Magic;
    I32 m_Count;
    U32 m_Record;
    U32 m_ElementCount;
};
static_assert(sizeof(BlockHeader) == 16, "block header must stay 16 bytes");

const U32 BlockMagic = 0xBABEB00Bu;

void* Allocate(size_t size, const TypeRecord& record);
void* AllocateArray(size_t bytes, U32 count, const TypeRecord& record);
void Free(void* pointer);

inline BlockHeader* HeaderOf(const void* pointer) {
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(pointer)) -
                                          sizeof(BlockHeader));
}

inline I32 RefCount(const void* pointer) { return pointer ? HeaderOf(pointer)->m_Count : 0; }

inline void TakeRef(const void* pointer) {
    if (pointer) ++HeaderOf(pointer)->m_Count;
}

inline void DropRef(const void* pointer) {
    if (!pointer) return;
    BlockHeader* header = HeaderOf(pointer);
    if (--header->m_Count < 1)
        TypeRecord::FromIndex(header->m_Record)->m_Destroy(const_cast<void*>(pointer));
}

template <class T>
void DestroyBlock(void* pointer) {
    static_cast<T*>(pointer)->~T();
    Free(pointer);
}

// The one record of class T, made on first use.
template <class T>
const TypeRecord& RecordOf() {
    static TypeRecord record(static_cast<I32>(sizeof(T)), &DestroyBlock<T>);
    return record;
}

// Creates a T in an engine block; the result has reference count 0.
template <class T, class... Args>
T* New(Args&&... args) {
    void* block = Allocate(sizeof(T), RecordOf<T>());
    return new (block) T(std::forward<Args>(args)...);
}

// A counted array of plain elements, zero-filled; count 0 when allocated.
template <class T>
T* NewArray(U32 count) {
    static_assert(std::is_trivially_destructible<T>::value, "arrays hold plain data only");
    void* block = AllocateArray(sizeof(T) * count, count, RecordOf<T>());
    return static_cast<T*>(block);
}

inline U32 ArrayCount(const void* pointer) { return pointer ? HeaderOf(pointer)->m_ElementCount : 0; }

// A holding field: keeps one counted reference to its object. Assignment
// takes the new reference before dropping the old, so assigning a field its
// own value is safe.
template <class T>
class Ref {
public:
    Ref() : m_Pointer(nullptr) {}
    Ref(T* pointer) : m_Pointer(pointer) { TakeRef(pointer); }
    Ref(const Ref& other) : m_Pointer(other.m_Pointer) { TakeRef(m_Pointer); }
    Ref(Ref&& other) noexcept : m_Pointer(other.m_Pointer) { other.m_Pointer = nullptr; }
    template <class U>
    Ref(const Ref<U>& other) : m_Pointer(other.Get()) { TakeRef(m_Pointer); }
    ~Ref() { Reset(); }

    Ref& operator=(T* pointer) {
        TakeRef(pointer);
        T* old = m_Pointer;
        m_Pointer = pointer;
        DropRef(old);
        return *this;
    }
    Ref& operator=(const Ref& other) { return *this = other.m_Pointer; }
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            T* old = m_Pointer;
            m_Pointer = other.m_Pointer;
            other.m_Pointer = nullptr;
            DropRef(old);
        }
        return *this;
    }
    void Reset() {
        T* old = m_Pointer;
        m_Pointer = nullptr;
        DropRef(old);
    }

    T* Get() const { return m_Pointer; }
    T* operator->() const { return m_Pointer; }
    T& operator*() const { return *m_Pointer; }
    operator T*() const { return m_Pointer; }
    explicit operator bool() const { return m_Pointer != nullptr; }

private:
    T* m_Pointer;
};

}  // namespace Meridian
