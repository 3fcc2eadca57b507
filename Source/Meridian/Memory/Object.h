// Root of every engine class.
//
// Objects live in engine blocks (Memory.h) and are created with New<T>(...)
// with reference count 0; every holder keeps a Ref<T>. Run-time kind tests use
// four-character class tags (TypeTags.h) instead of the language's RTTI:
// IsKindOf(tag) is true for the class's own tag and every base's, and Cast<T>
// is the kind-tested down-cast (null when the object is not a T). Classes
// without a tag of their own answer as their nearest tagged base.
//
// Declare a class with MERIDIAN_TAGGED_CLASS(Class, Base, Tags::X) or, without
// a tag of its own, MERIDIAN_CLASS(Class, Base); both leave the class body in
// its public section.
#pragma once

#include <string>

#include "Memory/Memory.h"
#include "Memory/TypeTags.h"

namespace Meridian {

// Base holding a weak-reference cell: a counted block whose only word is the
// object's address, made by the first WeakCell call; the object holds one
// reference to it and every WeakRef another. The destructor clears the cell
// (so weak holders see null from then on) and drops the object's reference.
template <class T>
class WeakObjectT {
public:
    WeakObjectT() : m_WeakCell(nullptr) {}
    virtual ~WeakObjectT() {
        if (m_WeakCell) {
            *m_WeakCell = nullptr;
            DropRef(m_WeakCell);
        }
    }
    WeakObjectT(const WeakObjectT&) = delete;
    WeakObjectT& operator=(const WeakObjectT&) = delete;

    // The cell holding this object's address (as a T*) while it lives.
    void** WeakCell() {
        if (!m_WeakCell) {
            m_WeakCell = NewArray<void*>(1);
            TakeRef(m_WeakCell);
            *m_WeakCell = static_cast<T*>(this);
        }
        return m_WeakCell;
    }

protected:
    void** m_WeakCell;
};

class Object : public WeakObjectT<Object> {
public:
    static constexpr U32 Tag = Tags::Object;

    Object() {}
    ~Object() override {}

    virtual bool IsKindOf(U32 tag) const { return tag == Tag; }
    virtual const char* GetTypeName() const { return "Object"; }

    void SetName(const std::string& name) { m_Name = name; }
    std::string GetName() const { return m_Name; }
    const std::string& Name() const { return m_Name; }

private:
    std::string m_Name;
};

// A holding field that names an object without keeping it alive: Get() is
// the object while it lives and null once it has been destroyed. For
// references that point back up a tree (an animation's target, a skin's
// joints), which would otherwise keep the tree alive through a cycle.
template <class T>
class WeakRef {
public:
    WeakRef() {}
    WeakRef(T* object) { *this = object; }
    WeakRef& operator=(T* object) {
        m_Cell = object ? object->WeakCell() : nullptr;
        return *this;
    }

    T* Get() const { return m_Cell ? static_cast<T*>(static_cast<Object*>(*m_Cell.Get())) : nullptr; }
    T* operator->() const { return Get(); }
    operator T*() const { return Get(); }

private:
    Ref<void*> m_Cell;
};

template <class T>
T* Cast(Object* object) {
    return object && object->IsKindOf(T::Tag) ? static_cast<T*>(object) : nullptr;
}

template <class T>
const T* Cast(const Object* object) {
    return object && object->IsKindOf(T::Tag) ? static_cast<const T*>(object) : nullptr;
}

}  // namespace Meridian

#define MERIDIAN_CLASS(Class, Base) \
public:                             \
    const char* GetTypeName() const override { return #Class; }

#define MERIDIAN_TAGGED_CLASS(Class, Base, ClassTag)                                          \
public:                                                                                        \
    static constexpr ::Meridian::U32 Tag = ClassTag;                                           \
    bool IsKindOf(::Meridian::U32 tag) const override { return tag == Tag || Base::IsKindOf(tag); } \
    const char* GetTypeName() const override { return #Class; }
